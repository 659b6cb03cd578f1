#pragma once

#include "rename/RenameRun.h"

#include <QString>

// Why a file was passed over, as the command line reports it: a key from a small
// documented set, a phrase for people, and the system's description of the
// failure behind it where there was one.
struct SkipReason
{
    QString key;
    QString phrase;
    std::optional<QString> error;
};

SkipReason skipReason(const RenameRun::FileResult& result, RenameBy by);

// True when a failure means the results folder itself is gone, so that no
// further copy can succeed.
bool resultsFolderGone(const Failure& failure, const QString& resultsFolder);
