#pragma once

#include <QString>
#include <functional>

class Boxes;
class DesktopShell;
class FileList;
class FileListController;
class ListMenu;
class Pointer;

// The context menu's entries for the list itself and for the folders behind it:
// "Remove", "Sort by Name", "Open Containing Folder" and "Open Results Folder".
class ListCommands
{
public:
    ListCommands(FileList& list, FileListController& controller, Pointer& pointer,
                 DesktopShell& shell, Boxes& boxes, std::function<QString()> resultsFolder);

    void addTo(ListMenu& menu);

    // Removes the selected entry, as the Delete key does.
    void remove();
    // Orders the list by file name, unless a command is busy with it.
    void sortByName();
    // The folder of the selected entry, in the file manager.
    void openContainingFolder();
    // The results folder, as the results folder box names it, in the file manager.
    void openResultsFolder();

private:
    // A folder that is not there (any more) is named in a box instead.
    void openFolder(const QString& folder);

    FileList& m_list;
    FileListController& m_controller;
    Pointer& m_pointer;
    DesktopShell& m_shell;
    Boxes& m_boxes;
    std::function<QString()> m_resultsFolder;
};
