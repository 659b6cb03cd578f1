#pragma once

#include <QString>

class Boxes;
class DesktopShell;
class ErrorReporter;
class FileList;
class KeyValueStore;

inline constexpr char kSamplesLabel[] = "in Orlesk2021/08/31.Form1.PushButton6_Click ";
inline constexpr char kOpenSamplesQuestion[] =
    "Would you like this software to open the folder where these sample files are stored (so "
    "that you can view them before working with them)?";

// The example pages installed in "Samples" beside the program: their list is
// recorded once under "Snapshot" and loaded into the file list on request.
class Samples
{
public:
    // `programFolder` is the program's folder without a trailing separator.
    Samples(KeyValueStore& store, FileList& list, Boxes& boxes, DesktopShell& shell,
            QString programFolder);

    // programFolder + "/Samples"
    QString folder() const;

    // Records the files of the samples folder under "Snapshot", "|" between them
    // (empty when there are none). Throws Failure; nothing is saved then.
    void record();

    // Adds every recorded sample that still exists and is not in the list yet,
    // then offers to open the samples folder. Throws Failure, ending at once.
    void load();

    // "Load Sample/Example Files"
    void PushButton6_Click(ErrorReporter& reporter);

private:
    KeyValueStore& m_store;
    FileList& m_list;
    Boxes& m_boxes;
    DesktopShell& m_shell;
    QString m_programFolder;
};
