#pragma once

#include <QPersistentModelIndex>
#include <optional>

class FileList;

// Moving an entry by dragging it: the dragged path swaps places with each entry
// the pointer reaches, so it travels with the pointer. Entries are numbered
// from 1; 0 stands for none.
class ReorderGesture
{
public:
    // Screen rows (pixels from the top of the screen) above and below which a
    // drag scrolls the list.
    static constexpr int kScrollUpAbove = 305;
    static constexpr int kScrollDownBelow = 364;

    explicit ReorderGesture(FileList& list);

    void press() { m_active = true; }
    void release() { m_active = false; }
    bool active() const { return m_active; }

    // A click on an entry makes it the dragged one.
    void clickEntry(int selected);
    // The dragged entry's number now, 0 when there is none (never clicked, or
    // removed from the list since).
    int dragged() const;

    struct Step
    {
        int select = 0;   // the entry to select: where the dragged path now stands
        int scrollTo = 0; // an entry to scroll into view, 0 for none
    };
    // One mouse movement with the pointer over entry `hovered` (0: no entry) at
    // screen row `screenY`. Answers what to select and scroll when entries moved.
    std::optional<Step> move(int hovered, int screenY);
    // Alt+Up and Alt+Down: entry `selected` swaps places with its neighbour
    // `offset` places away (-1 above, 1 below) and stays the picked-up entry.
    // Answers where it now stands; nothing moves at either end of the list.
    std::optional<int> moveOnePlace(int selected, int offset);

private:
    FileList& m_list;
    bool m_active = false;
    // Follows its entry when others are removed and forgets it when it is removed.
    QPersistentModelIndex m_dragged;
};
