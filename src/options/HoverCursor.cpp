#include "options/HoverCursor.h"

#include <QAbstractButton>
#include <QEvent>

namespace {
const char kRoleProperty[] = "quenbyHoverRole";
enum Role { ButtonRole = 1, AreaRole = 2 };
} // namespace

HoverCursor::HoverCursor(Pointer& pointer, QObject* parent) : QObject(parent), m_pointer(pointer) {}

void HoverCursor::watchButton(QAbstractButton* button)
{
    button->setProperty(kRoleProperty, ButtonRole);
    button->installEventFilter(this);
}

void HoverCursor::watchArea(QWidget* area)
{
    area->setProperty(kRoleProperty, AreaRole);
    // Moves without a pressed button reach only widgets that track the mouse.
    area->setMouseTracking(true);
    area->installEventFilter(this);
}

bool HoverCursor::eventFilter(QObject* watched, QEvent* event)
{
    const int role = watched->property(kRoleProperty).toInt();
    if (role == ButtonRole && event->type() == QEvent::Enter)
        apply(PointerShape::Custom);
    else if (role == AreaRole && event->type() == QEvent::MouseMove)
        apply(PointerShape::Default);
    return false;
}

void HoverCursor::apply(PointerShape shape)
{
    if (m_pointer.isBusy() || m_pointer.shape() == shape)
        return;
    m_pointer.setShape(shape);
}
