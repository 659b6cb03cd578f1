#pragma once

#include "filelist/FileListServices.h"

#include <QString>
#include <QStringList>
#include <functional>

class FileList;
class QMimeData;

inline constexpr char kAddFilesLabel[] = "in Orlesk2021/08/31.Form1.PushButton1_Click ";
inline constexpr char kResultsFolderLabel[] = "in Orlesk2021/08/31.Form1.PushButton4_Click ";
inline constexpr char kAddFolderLabel[] = "in Orlesk2021/08/31.Form1.PushButton5_Click ";
// A drop has no button; its failures are reported under the list's drop event.
inline constexpr char kDropLabel[] = "in Orlesk2021/08/31.Form1.ListView1_OLEDragDrop ";

inline constexpr char kAddFilesTitle[] = "Add File(s) - Hold Ctrl to select multiple files";
inline constexpr char kAddFilesFilter[] = "HTML Files (*.htm;*.html)|*.htm;*.html|";
inline constexpr char kTooManyFiles[] =
    "You've selected too many files to add.\r\rPlease try adding via the \"Add All\" button.";
inline constexpr char kExtensionPrompt[] =
    "Enter file extension to load:\r\r(* for all files, txt for all txt files, doc for all doc "
    "files, etc.)";
inline constexpr char kSelectFolderPrompt[] = "Please select folder:";

// The four ways of filling the list apart from the samples: the file dialog, the
// folder command, the results-folder button and dropped files and folders.
class AddingCommands
{
public:
    AddingCommands(FileList& list, const FileListServices& services);

    // "Add HTML File(s)"
    void PushButton1_Click();
    // The results-folder button: the chosen folder, with one trailing separator,
    // goes to the sink (the results folder box).
    void PushButton4_Click();
    // "Add All HTML File(s) In Folder"
    void PushButton5_Click();

    void setResultsFolderSink(std::function<void(const QString&)> sink)
    {
        m_resultsFolderSink = std::move(sink);
    }

    // Only a list of local paths may be dropped.
    static bool acceptsDrop(const QMimeData* data);
    static QStringList droppedPaths(const QMimeData* data);
    // Each path in order: a folder adds every file of its tree, anything else is
    // added as it is.
    void dropPaths(const QStringList& paths);

    const QString& lastFolder() const { return m_lastFolder; }
    const QString& lastFolderDot() const { return m_lastFolderDot; }

private:
    FileList& m_list;
    FileListServices m_services;
    std::function<void(const QString&)> m_resultsFolderSink;
    QString m_lastFolder;
    QString m_lastFolderDot;
};
