#pragma once

#include "rename/RenameRun.h"

#include <QString>

// Why a file was passed over, as the command line and the preview of new names
// report it: a key from a small documented set, a phrase for people, and the
// system's description of the failure behind it where there was one.
struct SkipReason
{
    QString key;
    QString phrase;
    std::optional<QString> error;
};

SkipReason skipReason(const RenameRun::FileResult& result, RenameBy by);

// The reason of every file when the results folder does not exist: the run
// would not start.
SkipReason noResultsFolder();
