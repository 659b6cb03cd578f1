#include "shell/ListCommands.h"

#include "filelist/FileList.h"
#include "filelist/widgets/FileListController.h"
#include "platform/Boxes.h"
#include "platform/DesktopShell.h"
#include "platform/Failure.h"
#include "platform/FileSystem.h"
#include "platform/Pointer.h"
#include "shell/ListMenu.h"

#include <QTreeView>

ListCommands::ListCommands(FileList& list, FileListController& controller, Pointer& pointer,
                           DesktopShell& shell, Boxes& boxes,
                           std::function<QString()> resultsFolder)
    : m_list(list), m_controller(controller), m_pointer(pointer), m_shell(shell), m_boxes(boxes),
      m_resultsFolder(std::move(resultsFolder))
{
}

void ListCommands::addTo(ListMenu& menu)
{
    auto selected = [this] { return m_controller.selectedEntry() > 0; };
    auto idle = [this] { return !m_pointer.isBusy(); };
    menu.add(
        ListMenu::Place::Remove, QStringLiteral("Remove"), [this] { remove(); }, {},
        [=] { return selected() && idle(); });
    menu.add(
        ListMenu::Place::SortByName, QStringLiteral("Sort by Name"), [this] { sortByName(); }, {},
        [=, this] { return m_list.count() > 1 && idle(); });
    menu.add(
        ListMenu::Place::OpenContainingFolder, QStringLiteral("Open Containing Folder"),
        [this] { openContainingFolder(); }, {}, selected);
    menu.add(
        ListMenu::Place::OpenResultsFolder, QStringLiteral("Open Results Folder"),
        [this] { openResultsFolder(); }, {}, [this] { return !m_resultsFolder().isEmpty(); });
}

void ListCommands::remove()
{
    m_controller.interaction().deleteKey(m_controller.selectedEntry());
}

void ListCommands::sortByName()
{
    // A run or a scan reads the list by position while it works.
    if (m_pointer.isBusy())
        return;
    m_list.sortByName();
    if (QTreeView* view = m_controller.listView1()) {
        if (m_controller.selectedEntry() > 0)
            view->scrollTo(m_list.index(m_controller.selectedEntry() - 1));
        else
            view->scrollToTop();
    }
}

void ListCommands::openContainingFolder()
{
    const int selected = m_controller.selectedEntry();
    if (selected < 1 || selected > m_list.count())
        return;
    QString folder = m_list.entry(selected);
    const qsizetype slash = folder.lastIndexOf(QLatin1Char('/'));
    // Entries are full paths; the root's files have "/" as their folder.
    folder = slash > 0 ? folder.left(slash) : QStringLiteral("/");
    openFolder(folder);
}

void ListCommands::openResultsFolder()
{
    const QString folder = m_resultsFolder();
    if (!folder.isEmpty())
        openFolder(folder);
}

void ListCommands::openFolder(const QString& folder)
{
    QString problem;
    try {
        if (!(FileSystem::attributes(folder) & FileSystem::Directory))
            problem = QStringLiteral("Not a directory");
    } catch (const Failure& failure) {
        problem = failure.description();
    }
    if (!problem.isEmpty()) {
        m_boxes.message(FileSystem::displayPath(folder) + QStringLiteral("\r\r") + problem, {},
                        BoxIcon::Warning);
        return;
    }
    m_shell.openFolder(folder);
}
