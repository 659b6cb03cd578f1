#pragma once

#include "platform/ErrorReporter.h"
#include "platform/ProgressBar.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <cstdio>
#include <functional>

// A progress bar on one line of standard error, redrawn in place at most ten
// times a second. It is wiped before anything else is printed and once the run
// is over, so it never shares a line with other output.
class TerminalProgress : public ProgressBar
{
public:
    explicit TerminalProgress(bool enabled) : m_enabled(enabled) {}
    ~TerminalProgress() override { clear(); }

    void setValue(double percent) override;
    void setText(const QString&) override {}
    void clear();

private:
    bool m_enabled;
    bool m_drawn = false;
    bool m_over = false; // the run has set the bar back to 0: nothing more to show
    QElapsedTimer m_sinceDraw;
};

// Prints text lines, wiping the progress bar first. Results and failures reach
// a terminal or a pipe in the order they happened: standard output is flushed
// before every failure. Into a pipe or file it goes in blocks (a write a line
// costs more than the line on a large run), yet at least every kFlushMs.
class Printer
{
public:
    static constexpr int kFlushMs = 100;

    explicit Printer(TerminalProgress& progress);
    void out(const QString& line);
    void out(const QByteArray& utf8Line);
    void err(const QString& line);

private:
    void flushWhenDue();

    TerminalProgress& m_progress;
    bool m_blocks;
    QElapsedTimer m_sinceFlush;
};

// Failures as Unix programs print them: "quenby-rename: PATH: description", one
// line each. The window's report box has no place here.
class StderrReporter : public ErrorReporter
{
public:
    explicit StderrReporter(Printer& printer) : m_printer(printer) {}
    void reportError(const QString& label, int line, const QString& description) override;
    void reportFailure(const QString& label, int line, const Failure& failure,
                       const QString& subject) override;

    // Asked before each report: answering false drops it (the run is being
    // stopped, and what fails now fails because of that).
    std::function<bool(const Failure&, const QString& subject)> filter;

private:
    void print(const QString& subject, const QString& description);
    Printer& m_printer;
    QString m_lastSubject, m_lastDescription;
};

// Turns the window's CR LF and lone CR line breaks into the terminal's LF.
QString terminalText(QString text);

// A name or path as the terminal may be given it: unchanged unless it holds a
// control character (C0, DEL, C1 or a bidirectional control), which could move
// the cursor, retitle the window or split a line; then quoted as GNU ls quotes
// it for the shell, 'a'$'\n''b.htm', so it can be pasted back.
QString terminalName(const QString& name);
void printLine(std::FILE* stream, const QString& text);
