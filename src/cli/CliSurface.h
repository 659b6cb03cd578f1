#pragma once

#include "platform/Boxes.h"
#include "platform/EventPump.h"
#include "platform/Pointer.h"
#include "rename/RunAnswers.h"

#include <QElapsedTimer>
#include <QString>

struct CliArguments;

// The run's messages on a terminal: each is kept for the caller to print where
// it belongs. Nothing is ever asked: the answers come from the options.
class KeptMessages : public Boxes
{
public:
    BoxAnswer message(const QString& text, const QString& title, BoxIcon icon,
                      BoxButtons buttons) override;
    QString input(const QString& prompt, const QString& title, const QString& defaultText) override;

    const QString& lastMessage() const { return m_lastMessage; }

private:
    QString m_lastMessage;
};

// What the content method needs, as given on the command line (checked there).
class OptionAnswers : public RunAnswers
{
public:
    explicit OptionAnswers(const CliArguments& arguments) : m_arguments(arguments) {}
    QString searchString() override;
    AnswerNumber wordCount(ContentMethod method) override;
    WordNumbers wordNumbers() override;

private:
    const CliArguments& m_arguments;
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
