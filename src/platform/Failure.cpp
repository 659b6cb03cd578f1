#include "platform/Failure.h"

#include <cstring>

Failure Failure::fromErrno(int err, Kind kind)
{
    return Failure(QString::fromLocal8Bit(std::strerror(err)), err, kind);
}
