#include "platform/QtEventPump.h"

#include <QCoreApplication>

void QtEventPump::processEvents()
{
    QCoreApplication::processEvents();
}
