#pragma once

#include "platform/Pointer.h"

#include <QObject>

class QAbstractButton;
class QWidget;

// The window's hover rule: over a push button the pointer becomes the hand
// cursor, over the background, the frames and the lists the default arrow. The
// hourglass of a running command is never replaced.
class HoverCursor : public QObject
{
    Q_OBJECT
public:
    HoverCursor(Pointer& pointer, QObject* parent = nullptr);

    // Entering the button shows the hand cursor.
    void watchButton(QAbstractButton* button);
    // Moving over the widget's own surface shows the arrow.
    void watchArea(QWidget* area);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void apply(PointerShape shape);

    Pointer& m_pointer;
};
