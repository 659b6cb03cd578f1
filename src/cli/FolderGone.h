#pragma once

#include "platform/Failure.h"

#include <QString>

// True when a failure means the results folder itself is gone, so that no
// further copy can succeed.
bool resultsFolderGone(const Failure& failure, const QString& resultsFolder);

// True when a copy failed because of the results folder (read-only, full, out
// of quota) rather than because of its own file.
bool resultsFolderRefuses(const Failure& failure);
