#pragma once

#include <QString>

// Read access to the list of files to rename, entries numbered from 1. The
// window's FileList model answers it; so does a plain list on the command line.
class FileEntries
{
public:
    virtual ~FileEntries() = default;
    virtual int count() const = 0;
    // The full path of entry i, 1 <= i <= count(); throws Failure otherwise.
    virtual QString entry(int i) const = 0;
};
