#include "Failure.h"

#include <cstring>

Failure Failure::fromErrno(int err)
{
    return Failure(QString::fromLocal8Bit(std::strerror(err)), err);
}
