#pragma once

#include "platform/Failure.h"
#include "platform/SourceFile.h"

#include <QString>
#include <optional>
#include <utility>

// Why a file was passed over.
enum class SkipCause {
    None,        // the file was renamed (or planned)
    NotOrdinary, // the source is missing, not a regular file, or hidden
    EmptyName,   // no words or values were found to name the file by
    NoNameLeft,  // nothing was left of the name after the character clean-up
    Failed,      // a failure was reported; see NameResult::failure
};

// What became of one file: renamed (planned, in a dry run) under a name and a
// target, or passed over with its cause and the failure behind it.
struct NameResult
{
    bool renamed = false;
    SkipCause cause = SkipCause::None;
    std::optional<Failure> failure; // a skipped file's failure, when there was one

    // The name after the character clean-up (without "!" marks and extension),
    // and the path the copy was written to or planned for; empty when passed over.
    QString name;
    QString target;
    // The copy as written, so that an undo knows it again; nothing in a dry run.
    FileSystem::FileStamp written;

    explicit operator bool() const { return renamed; }

    static NameResult made(QString name, QString target, FileSystem::FileStamp written = {})
    {
        NameResult result;
        result.renamed = true;
        result.name = std::move(name);
        result.target = std::move(target);
        result.written = written;
        return result;
    }

    // Passed over because of `why`, unless there was a failure: a failure
    // outweighs the emptiness it may have caused (a page that could not be read
    // has no words either).
    static NameResult passedOver(SkipCause why, std::optional<Failure> failure)
    {
        NameResult result;
        result.cause = failure ? SkipCause::Failed : why;
        result.failure = std::move(failure);
        return result;
    }
};
