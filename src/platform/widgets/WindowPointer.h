#pragma once

#include "platform/Pointer.h"

#include <QCursor>
#include <QPointer>

class QWidget;

// The mouse pointer of one window: the arrow, the hourglass, or the custom
// cursor (the standard arrow until one is loaded).
class WindowPointer : public Pointer
{
public:
    explicit WindowPointer(QWidget* window);

    void setShape(PointerShape shape) override;
    PointerShape shape() const override { return m_shape; }

    void setCustomCursor(const QCursor& cursor);

private:
    QPointer<QWidget> m_window;
    PointerShape m_shape = PointerShape::Default;
    QCursor m_custom{Qt::ArrowCursor};
};
