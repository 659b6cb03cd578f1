#include "platform/widgets/WindowPointer.h"

#include <QWidget>

WindowPointer::WindowPointer(QWidget* window) : m_window(window) {}

void WindowPointer::setShape(PointerShape shape)
{
    m_shape = shape;
    if (!m_window)
        return;
    switch (shape) {
    case PointerShape::Default:
        m_window->setCursor(Qt::ArrowCursor);
        break;
    case PointerShape::Busy:
        m_window->setCursor(Qt::WaitCursor);
        break;
    case PointerShape::Custom:
        m_window->setCursor(m_custom);
        break;
    }
}

void WindowPointer::setCustomCursor(const QCursor& cursor)
{
    m_custom = cursor;
    if (m_shape == PointerShape::Custom && m_window)
        m_window->setCursor(m_custom);
}
