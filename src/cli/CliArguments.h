#pragma once

#include "rename/NamingRequest.h"
#include "rename/RenameOptions.h"

#include <QString>
#include <QStringList>
#include <optional>

// The exit statuses of quenby-rename.
namespace CliExit {
enum : int {
    AllRenamed = 0,
    SomeSkipped = 1,
    BadUsage = 2,
    NoResultsFolder = 3,
    NoFiles = 4,
    NoRunToUndo = 5, // --undo, --list-runs: no such run, or its journal is damaged
};
}

// What the command line asked for, checked: every value is one the run accepts.
struct CliArguments
{
    QStringList paths;
    FixedRenameOptions options;
    QString words = QStringLiteral("1"); // N, the number of words
    WordNumbers positions = WordNumbers::fromText(QStringLiteral("10,11")); // --method positions
    QString search;                   // the text --method after|before look for
    QStringList extensions;           // --ext: folders are scanned for "*." + EXT
    std::optional<QString> filesFrom; // --files-from: "-" is standard input
    bool nulSeparated = false;        // -0: --files-from separates by NUL
    bool dryRun = false;
    bool json = false;
    std::optional<bool> progress; // unset: when standard error is a terminal
    std::optional<int> undo;      // --undo: the run's id, 0 for the last run
    bool listRuns = false;
};

// The outcome of reading the arguments: either arguments to run with, or a text
// to print and the exit status to end with (help, version, or a usage error).
struct CliParse
{
    std::optional<CliArguments> arguments;
    QString message;
    int exitCode = 0;
};

CliParse parseCliArguments(const QStringList& argv);

QString cliUsage();
