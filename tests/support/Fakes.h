#pragma once

// Test doubles for the platform interfaces: scripted answers in, recorded calls out.

#include "platform/Boxes.h"
#include "platform/EventPump.h"
#include "platform/Pointer.h"
#include "platform/ProgressBar.h"
#include "platform/Trap.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

struct RecordedReport
{
    QString label;
    int line;
    QString description;
};

class RecordingReporter : public ErrorReporter
{
public:
    void reportError(const QString& label, int line, const QString& description) override
    {
        reports.append({label, line, description});
    }
    void reportFailure(const QString& label, int line, const Failure& failure,
                       const QString& subject) override
    {
        subjects.append(subject);
        ErrorReporter::reportFailure(label, line, failure, subject);
    }
    QList<RecordedReport> reports;
    QStringList subjects; // the file or folder of each report made with one
};

struct ShownBox
{
    QString text;
    QString title;
    BoxIcon icon;
    BoxButtons buttons;
};

struct AskedInput
{
    QString prompt;
    QString title;
    QString defaultText;
};

// Answers input boxes from a script, in order; an exhausted script cancels.
class ScriptedBoxes : public Boxes
{
public:
    BoxAnswer message(const QString& text, const QString& title, BoxIcon icon,
                      BoxButtons buttons) override
    {
        shown.append({text, title, icon, buttons});
        if (onMessage)
            onMessage();
        if (buttons == BoxButtons::YesNo)
            return yesNoAnswers.isEmpty() ? BoxAnswer::No : yesNoAnswers.takeFirst();
        return BoxAnswer::Ok;
    }
    QString input(const QString& prompt, const QString& title, const QString& defaultText) override
    {
        asked.append({prompt, title, defaultText});
        return answers.isEmpty() ? QString() : answers.takeFirst();
    }

    QStringList answers;
    QList<BoxAnswer> yesNoAnswers;
    QList<ShownBox> shown;
    QList<AskedInput> asked;
    std::function<void()> onMessage;
};

class FakePointer : public Pointer
{
public:
    void setShape(PointerShape s) override
    {
        current = s;
        history.append(s);
    }
    PointerShape shape() const override { return current; }
    PointerShape current = PointerShape::Default;
    QList<PointerShape> history;
};

class FakeProgress : public ProgressBar
{
public:
    void setValue(double percent) override { values.append(percent); }
    void setText(const QString& t) override { text = t; }
    QList<double> values;
    QString text = QStringLiteral("Progress Bar");
};

// Runs a callback each time the code under test lets events run: the place where
// a user's click would land in the middle of a long loop.
class ScriptedPump : public EventPump
{
public:
    void processEvents() override
    {
        ++calls;
        if (onEvents)
            onEvents();
    }
    int calls = 0;
    std::function<void()> onEvents;
};
