#include "filelist/ReorderGesture.h"

#include "filelist/FileList.h"

ReorderGesture::ReorderGesture(FileList& list) : m_list(list) {}

void ReorderGesture::clickEntry(int selected)
{
    if (selected >= 1 && selected <= m_list.count())
        m_dragged = QPersistentModelIndex(m_list.index(selected - 1));
    else
        m_dragged = QPersistentModelIndex();
}

int ReorderGesture::dragged() const
{
    return m_dragged.isValid() ? m_dragged.row() + 1 : 0;
}

std::optional<ReorderGesture::Step> ReorderGesture::move(int hovered, int screenY)
{
    if (!m_active)
        return std::nullopt;
    const int from = dragged();
    if (hovered < 1 || hovered > m_list.count() || from == 0)
        return std::nullopt;
    const QString draggedText = m_list.entry(from);
    const QString hoveredText = m_list.entry(hovered);
    if (hoveredText == draggedText)
        return std::nullopt;

    m_list.setEntry(from, hoveredText);
    m_list.setEntry(hovered, draggedText);
    m_dragged = QPersistentModelIndex(m_list.index(hovered - 1));

    Step step;
    step.select = hovered;
    if (screenY < kScrollUpAbove && hovered > 1)
        step.scrollTo = hovered - 1;
    else if (screenY > kScrollDownBelow && hovered < m_list.count())
        step.scrollTo = hovered + 1;
    return step;
}

std::optional<int> ReorderGesture::moveOnePlace(int selected, int offset)
{
    const int to = selected + offset;
    if (selected < 1 || selected > m_list.count() || to < 1 || to > m_list.count())
        return std::nullopt;
    // The same swap as one step of the drag.
    const QString movedText = m_list.entry(selected);
    m_list.setEntry(selected, m_list.entry(to));
    m_list.setEntry(to, movedText);
    m_dragged = QPersistentModelIndex(m_list.index(to - 1));
    return to;
}
