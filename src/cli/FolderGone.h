#pragma once

#include "platform/Failure.h"

#include <QString>

// True when a failure means the results folder itself is gone, so that no
// further copy can succeed.
bool resultsFolderGone(const Failure& failure, const QString& resultsFolder);
