#pragma once

#include "cli/CliSurface.h"
#include "pagetext/service/HelperPageText.h"
#include "rename/RenameRun.h"

#include <QSet>
#include <QString>

class FileList;
class Printer;
class StderrReporter;
class TerminalProgress;
struct CliArguments;

// The window's rename run as the command line drives it: the answers come from
// the options, each file ends in one line on standard output (text or JSON),
// each failure in one on standard error, and the outcome becomes the exit code.
class CommandLineRun
{
public:
    CommandLineRun(FileList& entries, const CliArguments& args, Printer& printer,
                   StderrReporter& reporter, TerminalProgress& progress, EventPump& events);
    ~CommandLineRun();

    // Runs over the list and returns the program's exit code, after the
    // closing lines.
    int run();

    // Sources already said to be missing: their failures are not told again.
    void setToldMissing(QSet<QString> sources) { m_toldMissing = std::move(sources); }

private:
    void reportEachFile();
    void watchResultsFolder();
    int finish(RenameRun::Outcome outcome);
    int resultsFolderMissing();
    int stopped();
    void printClosingMessage();

    FileList& m_entries;
    const CliArguments& m_args;
    Printer& m_printer;
    StderrReporter& m_reporter;
    TerminalProgress& m_progress;
    KeptMessages m_boxes;
    OptionAnswers m_answers;
    NoPointer m_pointer;
    HelperPageText m_pageText;
    RenameRun m_run;

    bool m_folderGone = false;
    QString m_folderGoneError;
    QSet<QString> m_folderRefusals; // what the results folder refused, each said once
    QSet<QString> m_toldMissing;
    int m_done = 0;
    int m_renamed = 0;
};
