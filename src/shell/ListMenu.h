#pragma once

#include <QKeySequence>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <map>

class QAbstractItemView;
class QAction;
class QMenu;
class QPoint;
class QWidget;

// The file list's context menu, opened by a right-click on the list, the Menu
// key or Shift+F10. Every entry has its own place, so the menu reads the same
// whichever command adds its entry first; a line separates the groups.
class ListMenu : public QObject
{
    Q_OBJECT
public:
    // Top to bottom.
    enum class Place {
        // What a run would do, and taking one back.
        PreviewNewNames,
        UndoLastRun,
        // The list itself.
        Remove,
        SortByName,
        // Folders in the file manager.
        OpenContainingFolder,
        OpenResultsFolder,
        // Everything else.
        MoreOptions,
    };

    // `list` gets the menu; shortcuts of its entries work anywhere in `window`.
    ListMenu(QAbstractItemView* list, QWidget* window);
    ~ListMenu() override;

    // Puts an entry at `place` (one entry a place). A `shortcut` works anywhere in
    // the window, menu open or not; an entry with an `enabled` test is greyed
    // while the menu is open and the test answers false.
    QAction* add(Place place, const QString& text, std::function<void()> action,
                 const QKeySequence& shortcut = {}, std::function<bool()> enabled = {});

    QMenu* menu() const { return m_menu; }
    // nullptr when nothing stands at `place`.
    QAction* action(Place place) const;
    // Opens the menu at a point of the screen without waiting for it to close.
    void popup(const QPoint& globalPosition);
    // Opens it under the selected entry (the list's top left when there is
    // none), as the keyboard does.
    void popupAtSelection();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Entry
    {
        QAction* action = nullptr;
        std::function<bool()> enabled;
    };
    void rebuild();
    void updateEnabled();

    QPointer<QAbstractItemView> m_list;
    // The list as the event filter sees it: a view being destroyed is no longer
    // a QAbstractItemView, so it is told apart by its address alone.
    const QObject* m_listObject;
    QPointer<QWidget> m_window;
    QMenu* m_menu = nullptr;
    std::map<Place, Entry> m_entries;
};
