#pragma once

// Texts and sizes of the two lists of the main window.

inline constexpr char kFileListHeader[] = " HTML File(s)";
inline constexpr int kFileListColumnTwips = 7000;
inline constexpr char kFileListToolTip[] =
    "Drag and drop files here. Double-click item to remove it. Move | line to right and out of "
    "window to reveal full names.";

inline constexpr char kPreviewHeader[] =
    "HTML Preview (Click on added HTML file above. This is how the file appears to me)";
inline constexpr int kPreviewColumnTwips = 7600;
inline constexpr char kPreviewToolTip[] = "Preview";
