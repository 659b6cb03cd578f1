#pragma once

#include "platform/Boxes.h"
#include "platform/EventPump.h"
#include "platform/Pointer.h"
#include "platform/Progress.h"
#include "platform/Trap.h"

#include <QElapsedTimer>
#include <QString>
#include <cstdio>

struct CliArguments;

// The run's boxes on a terminal: prompts are answered from the arguments, and a
// message is kept for the caller to print where it belongs.
class ArgumentBoxes : public Boxes
{
public:
    explicit ArgumentBoxes(const CliArguments& arguments) : m_arguments(arguments) {}

    BoxAnswer message(const QString& text, const QString& title, BoxIcon icon,
                      BoxButtons buttons) override;
    QString input(const QString& prompt, const QString& title, const QString& defaultText) override;

    const QString& lastMessage() const { return m_lastMessage; }

private:
    const CliArguments& m_arguments;
    QString m_lastMessage;
};

// A progress bar drawn on standard error, redrawn at most a few times a second.
class TerminalProgress : public ProgressBar
{
public:
    explicit TerminalProgress(bool enabled) : m_enabled(enabled) {}
    ~TerminalProgress() override { finishLine(); }

    void setValue(double percent) override;
    void setText(const QString&) override {}
    // Ends the bar's line so that other output starts on a fresh one.
    void finishLine();

private:
    bool m_enabled;
    bool m_drawn = false;
    int m_lastShown = -1;
    QElapsedTimer m_sinceDraw;
};

// Failures are printed to standard error as the window would show them, and the
// run goes on.
class StderrReporter : public ErrorReporter
{
public:
    explicit StderrReporter(TerminalProgress& progress) : m_progress(progress) {}
    void reportError(const QString& label, int line, const QString& description) override;
    int count() const { return m_count; }

private:
    TerminalProgress& m_progress;
    int m_count = 0;
};

// There is no pointer to show on a terminal.
class NoPointer : public Pointer
{
public:
    void setShape(PointerShape shape) override { m_shape = shape; }
    PointerShape shape() const override { return m_shape; }

private:
    PointerShape m_shape = PointerShape::Default;
};

class CoreEventPump : public EventPump
{
public:
    void processEvents() override;

private:
    QElapsedTimer m_sinceDispatch;
};

// Turns the window's CR LF and lone CR line breaks into the terminal's LF.
QString terminalText(QString text);
void printLine(std::FILE* stream, const QString& text);
