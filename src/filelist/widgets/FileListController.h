#pragma once

#include "filelist/AddingCommands.h"
#include "filelist/FileListServices.h"
#include "filelist/ListInteraction.h"
#include "filelist/PreviewList.h"
#include "filelist/ReorderGesture.h"

#include <QCursor>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <functional>

class FileList;
class QAbstractItemView;
class QKeyEvent;
class QTreeView;

// Attaches the file list and the preview to the window's two list views and
// handles their events: drops, keys, clicks, double-clicks and the reorder
// gesture. The four list buttons of the window connect to its slots.
class FileListController : public QObject
{
    Q_OBJECT
public:
    // `listView1` shows `list`; `listView3` shows the preview. `programFolder`
    // (without a trailing separator) is where "drag.ico" is looked for.
    FileListController(QTreeView* listView1, QTreeView* listView3, FileList& list,
                       const FileListServices& services, const QString& programFolder,
                       QObject* parent = nullptr);

    // Where the results-folder button writes the chosen folder (the results
    // folder box of the options panel).
    void setResultsFolderSink(std::function<void(const QString&)> sink)
    {
        m_adding.setResultsFolderSink(std::move(sink));
    }

    AddingCommands& adding() { return m_adding; }
    ListInteraction& interaction() { return m_interaction; }
    ReorderGesture& gesture() { return m_gesture; }
    PreviewList& preview() { return m_preview; }

    // Adds files and folders as a drop adds them (a folder with every file of its
    // tree), once the events now waiting have been answered.
    void addPaths(const QStringList& paths) { dropLater(paths); }

    // The selected entry of the list, numbered from 1; 0 when none is.
    int selectedEntry() const;
    QTreeView* listView1() const;

public slots:
    void PushButton1_Click();
    void PushButton3_Click();
    void PushButton4_Click();
    void PushButton5_Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ListView1_Click();
    void pointerRule();
    void selectEntry(int entry);
    QCursor dragCursor() const;
    bool listViewportEvent(QEvent* event);
    bool listKeyPress(QKeyEvent* key);
    // Moves the selected entry one place up (-1) or down (1).
    void moveSelectedEntry(int offset);
    void dropLater(const QStringList& paths);

    QPointer<QTreeView> m_listView1;
    QPointer<QTreeView> m_listView3;
    // Kept apart so that events met while a view is being destroyed are told
    // apart without calling into it.
    QPointer<QWidget> m_viewport1;
    QPointer<QWidget> m_viewport3;
    // The list itself as the event filter sees it: a view being destroyed is no
    // longer a QTreeView, so it must not be compared through one.
    const QObject* m_listView1Object;
    FileList& m_list;
    FileListServices m_services;
    QString m_programFolder;
    PreviewList m_preview;
    AddingCommands m_adding;
    ListInteraction m_interaction;
    ReorderGesture m_gesture;
};
