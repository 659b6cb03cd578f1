#include "shell/ListMenu.h"

#include <QAbstractItemView>
#include <QAction>
#include <QKeyEvent>
#include <QMenu>

namespace {

// Entries of one group stand together, a line between groups.
int groupOf(ListMenu::Place place)
{
    switch (place) {
    case ListMenu::Place::PreviewNewNames:
    case ListMenu::Place::UndoLastRun:
        return 0;
    case ListMenu::Place::Remove:
    case ListMenu::Place::SortByName:
        return 1;
    case ListMenu::Place::OpenContainingFolder:
    case ListMenu::Place::OpenResultsFolder:
        return 2;
    case ListMenu::Place::MoreOptions:
        return 3;
    }
    return 3;
}

} // namespace

ListMenu::ListMenu(QAbstractItemView* list, QWidget* window)
    : QObject(window), m_list(list), m_listObject(list), m_window(window), m_menu(new QMenu(window))
{
    m_menu->setObjectName(QStringLiteral("ListMenu"));
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    // A scroll area reports the position in its viewport's coordinates.
    connect(list, &QWidget::customContextMenuRequested, this, [this](const QPoint& position) {
        if (m_list)
            popup(m_list->viewport()->mapToGlobal(position));
    });
    list->installEventFilter(this);
    connect(m_menu, &QMenu::aboutToShow, this, &ListMenu::updateEnabled);
    // Shortcuts of entries greyed for the open menu work again once it closes;
    // their commands check their own conditions.
    connect(m_menu, &QMenu::aboutToHide, this, [this] {
        for (auto& [place, entry] : m_entries) {
            if (entry.enabled)
                entry.action->setEnabled(true);
        }
    });
}

ListMenu::~ListMenu()
{
    delete m_menu;
}

QAction* ListMenu::add(Place place, const QString& text, std::function<void()> action,
                       const QKeySequence& shortcut, std::function<bool()> enabled)
{
    Entry& entry = m_entries[place];
    delete entry.action;
    entry.action = new QAction(text, this);
    entry.enabled = std::move(enabled);
    connect(entry.action, &QAction::triggered, this, [action = std::move(action)] { action(); });
    if (!shortcut.isEmpty()) {
        entry.action->setShortcut(shortcut);
        entry.action->setShortcutContext(Qt::WindowShortcut);
        if (m_window)
            m_window->addAction(entry.action);
    }
    rebuild();
    return entry.action;
}

QAction* ListMenu::action(Place place) const
{
    const auto found = m_entries.find(place);
    return found == m_entries.end() ? nullptr : found->second.action;
}

void ListMenu::rebuild()
{
    // The separators belong to the menu and go with clear(); the entries stay.
    m_menu->clear();
    int group = -1;
    for (const auto& [place, entry] : m_entries) {
        if (group >= 0 && groupOf(place) != group)
            m_menu->addSeparator();
        group = groupOf(place);
        m_menu->addAction(entry.action);
    }
}

void ListMenu::updateEnabled()
{
    for (auto& [place, entry] : m_entries) {
        if (entry.enabled)
            entry.action->setEnabled(entry.enabled());
    }
}

void ListMenu::popup(const QPoint& globalPosition)
{
    if (m_entries.empty())
        return;
    m_menu->popup(globalPosition);
}

void ListMenu::popupAtSelection()
{
    if (!m_list)
        return;
    QPoint at(0, 0);
    const QModelIndex current = m_list->currentIndex();
    if (current.isValid() && m_list->selectionModel() &&
        m_list->selectionModel()->isSelected(current)) {
        m_list->scrollTo(current);
        at = m_list->visualRect(current).bottomLeft();
    }
    popup(m_list->viewport()->mapToGlobal(at));
}

bool ListMenu::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_listObject || event->type() != QEvent::KeyPress)
        return QObject::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool menuKey = key->key() == Qt::Key_Menu && key->modifiers() == Qt::NoModifier;
    const bool shiftF10 = key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier;
    if (!menuKey && !shiftF10)
        return false;
    popupAtSelection();
    return true;
}
