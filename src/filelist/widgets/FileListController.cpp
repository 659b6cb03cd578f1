#include "filelist/widgets/FileListController.h"

#include "filelist/FileList.h"
#include "filelist/ListTexts.h"
#include "platform/Failure.h"
#include "platform/FileSystem.h"
#include "platform/Pointer.h"
#include "platform/widgets/Twips.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPixmap>
#include <QTreeView>

namespace {

void setUpList(QTreeView* view, QAbstractItemModel* model, const char* toolTip, int twips)
{
    view->setModel(model);
    view->setRootIsDecorated(false);
    view->setUniformRowHeights(true);
    view->setSortingEnabled(false);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setDragEnabled(false);
    view->setToolTip(QString::fromLatin1(toolTip));
    view->header()->setStretchLastSection(false);
    view->header()->resizeSection(0, twipsToPixels(twips));
}

// Handlers without a trap of their own must not let a failure escape into the
// event loop; such a failure simply ends the handler.
template <typename Handler> void untrapped(Handler&& handler)
{
    try {
        handler();
    } catch (const Failure&) {
    } catch (const std::bad_alloc&) {
    }
}

} // namespace

FileListController::FileListController(QTreeView* listView1, QTreeView* listView3, FileList& list,
                                       const FileListServices& services,
                                       const QString& programFolder, QObject* parent)
    : QObject(parent), m_listView1(listView1), m_listView3(listView3),
      m_listView1Object(listView1), m_list(list),
      m_services(services), m_programFolder(programFolder), m_adding(list, services),
      m_interaction(list, m_preview, services.pointer, services.pump, services.reporter),
      m_gesture(list)
{
    setUpList(listView1, &list, kFileListToolTip, kFileListColumnTwips);
    // Dragging an entry never starts a drag of its own: the reorder gesture moves it.
    listView1->setDragDropMode(QAbstractItemView::NoDragDrop);
    listView1->setAcceptDrops(true);
    listView1->viewport()->setAcceptDrops(true);
    m_viewport1 = listView1->viewport();
    listView1->installEventFilter(this);
    m_viewport1->installEventFilter(this);
    listView1->viewport()->setMouseTracking(true);
    connect(listView1, &QAbstractItemView::clicked, this, &FileListController::ListView1_Click);

    if (listView3) {
        setUpList(listView3, &m_preview, kPreviewToolTip, kPreviewColumnTwips);
        m_viewport3 = listView3->viewport();
        m_viewport3->installEventFilter(this);
        listView3->viewport()->setMouseTracking(true);
    }
}

int FileListController::selectedEntry() const
{
    if (!m_listView1 || !m_listView1->selectionModel())
        return 0;
    const QModelIndexList rows = m_listView1->selectionModel()->selectedRows();
    return rows.isEmpty() ? 0 : rows.first().row() + 1;
}

QTreeView* FileListController::listView1() const
{
    return m_listView1;
}

void FileListController::PushButton1_Click()
{
    m_adding.PushButton1_Click();
}

void FileListController::PushButton3_Click()
{
    m_interaction.PushButton3_Click();
}

void FileListController::PushButton4_Click()
{
    m_adding.PushButton4_Click();
}

void FileListController::PushButton5_Click()
{
    m_adding.PushButton5_Click();
}

void FileListController::ListView1_Click()
{
    m_interaction.ListView1_Click(selectedEntry());
}

void FileListController::pointerRule()
{
    if (!m_services.pointer.isBusy() && m_services.pointer.shape() != PointerShape::Default)
        m_services.pointer.setShape(PointerShape::Default);
}

void FileListController::selectEntry(int entry)
{
    if (!m_listView1 || entry < 1 || entry > m_list.count())
        return;
    m_listView1->selectionModel()->setCurrentIndex(
        m_list.index(entry - 1), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

QCursor FileListController::dragCursor() const
{
    // Without a usable "drag.ico" the list keeps the standard pointer.
    const QString path = m_programFolder + QStringLiteral("/drag.ico");
    if (FileSystem::isRegularFile(path)) {
        const QPixmap image(path);
        if (!image.isNull())
            return QCursor(image);
    }
    return QCursor(Qt::ArrowCursor);
}

void FileListController::dropLater(const QStringList& paths)
{
    // The scan yields to events; it runs once the drop itself has been answered,
    // so the file manager is not kept waiting.
    QMetaObject::invokeMethod(
        this, [this, paths] { untrapped([&] { m_adding.dropPaths(paths); }); },
        Qt::QueuedConnection);
}

bool FileListController::eventFilter(QObject* watched, QEvent* event)
{
    if (!watched)
        return false;
    if (watched == m_viewport1.data() && m_listView1)
        return listViewportEvent(event);
    if (m_listView1 && watched == m_listView1Object && event->type() == QEvent::KeyPress)
        return listKeyPress(static_cast<QKeyEvent*>(event));
    if (watched == m_viewport3.data() && event->type() == QEvent::MouseMove)
        pointerRule();
    return QObject::eventFilter(watched, event);
}

bool FileListController::listKeyPress(QKeyEvent* key)
{
    const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
    if (key->key() == Qt::Key_Delete) {
        untrapped([&] { m_interaction.deleteKey(selectedEntry()); });
        return true;
    }
    if (modifiers == Qt::AltModifier && (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down)) {
        moveSelectedEntry(key->key() == Qt::Key_Up ? -1 : 1);
        return true;
    }
    // Arrows, pages, Home, End and typed letters move the selection in the view,
    // after this filter; once they have, the new entry is previewed as a click
    // would preview it.
    const int before = selectedEntry();
    QMetaObject::invokeMethod(
        this,
        [this, before] {
            const int now = selectedEntry();
            if (now != 0 && now != before)
                ListView1_Click();
        },
        Qt::QueuedConnection);
    return false;
}

void FileListController::moveSelectedEntry(int offset)
{
    untrapped([&] {
        const auto to = m_gesture.moveOnePlace(selectedEntry(), offset);
        if (!to)
            return;
        selectEntry(*to);
        m_listView1->scrollTo(m_list.index(*to - 1));
    });
}

bool FileListController::listViewportEvent(QEvent* event)
{
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (AddingCommands::acceptsDrop(drag->mimeData()))
            drag->acceptProposedAction();
        else
            drag->ignore(); // the no-drop pointer
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        const QStringList paths = AddingCommands::droppedPaths(drop->mimeData());
        if (paths.isEmpty()) {
            drop->ignore();
            return true;
        }
        drop->acceptProposedAction();
        dropLater(paths);
        return true;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton)
            return false;
        m_gesture.press();
        const QModelIndex at = m_listView1->indexAt(mouse->position().toPoint());
        if (at.isValid()) {
            // Pressing on an entry picks it up for the reorder gesture.
            selectEntry(at.row() + 1);
            untrapped([&] { m_gesture.clickEntry(at.row() + 1); });
            m_listView1->viewport()->setCursor(dragCursor());
        }
        if (event->type() == QEvent::MouseButtonDblClick) {
            untrapped([&] { m_interaction.doubleClick(selectedEntry()); });
            return true;
        }
        return false;
    }
    case QEvent::MouseMove: {
        pointerRule();
        if (!m_gesture.active())
            return false;
        auto* mouse = static_cast<QMouseEvent*>(event);
        const QModelIndex at = m_listView1->indexAt(mouse->position().toPoint());
        untrapped([&] {
            const auto step = m_gesture.move(at.isValid() ? at.row() + 1 : 0,
                                             qRound(mouse->globalPosition().y()));
            if (!step)
                return;
            selectEntry(step->select);
            if (step->scrollTo > 0)
                m_listView1->scrollTo(m_list.index(step->scrollTo - 1));
        });
        // The view's own drag selection and drag start stay out of the gesture.
        return true;
    }
    case QEvent::MouseButtonRelease:
        m_gesture.release();
        m_listView1->viewport()->setCursor(QCursor(Qt::ArrowCursor));
        return false;
    default:
        return false;
    }
}
