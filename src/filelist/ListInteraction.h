#pragma once

#include <QString>

class ErrorReporter;
class EventPump;
class FileList;
class Pointer;
class PreviewList;

inline constexpr char kClearListLabel[] = "in Orlesk2021/08/31.Form1.PushButton3_Click ";
inline constexpr char kPreviewLabel[] = "in Orlesk2021/08/31.Form1.ListView1_Click ";
inline constexpr int kPreviewMaxLines = 100;

// Removing entries, emptying the list and previewing the clicked file. Entries
// are numbered from 1; 0 stands for "no entry selected". While the pointer is the
// hourglass (a long command is running) nothing is removed.
class ListInteraction
{
public:
    ListInteraction(FileList& list, PreviewList& preview, Pointer& pointer, EventPump& pump,
                    ErrorReporter& reporter);

    // The Delete key: removes the selected entry; the preview stays.
    void deleteKey(int selected);
    // A double-click: empties the preview and removes the selected entry.
    void doubleClick(int selected);
    // "Clear List"
    void PushButton3_Click();
    // A click on the list, or the selection moved by a key: the first lines of
    // the selected entry's file. Without a selected entry nothing happens.
    void ListView1_Click(int selected);

private:
    FileList& m_list;
    PreviewList& m_preview;
    Pointer& m_pointer;
    EventPump& m_pump;
    ErrorReporter& m_reporter;
    // Counts previews; a preview started while another is filling ends the older one.
    quint64 m_previewGeneration = 0;
};
