#include "platform/QtRandom.h"

#include <QTime>

QtRandom::QtRandom()
    : m_generator(static_cast<quint32>(QTime::currentTime().msecsSinceStartOfDay()))
{
}

double QtRandom::nextFraction()
{
    return m_generator.generateDouble();
}
