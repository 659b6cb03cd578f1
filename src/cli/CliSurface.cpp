#include "cli/CliSurface.h"

#include "cli/CliArguments.h"
#include "platform/Failure.h"

#include <QCoreApplication>

BoxAnswer KeptMessages::message(const QString& text, const QString&, BoxIcon, BoxButtons buttons)
{
    m_lastMessage = text;
    return buttons == BoxButtons::YesNo ? BoxAnswer::No : BoxAnswer::Ok;
}

QString KeptMessages::input(const QString&, const QString&, const QString&)
{
    // The run takes its answers from OptionAnswers; anything else asking would
    // otherwise wait for an answer nobody can type.
    throw Failure(QStringLiteral("No answer can be typed on the command line"));
}

QString OptionAnswers::searchString()
{
    return m_arguments.search;
}

AnswerNumber OptionAnswers::wordCount(ContentMethod)
{
    return AnswerNumber::fromText(m_arguments.words);
}

WordNumbers OptionAnswers::wordNumbers()
{
    return m_arguments.positions;
}

void CoreEventPump::processEvents()
{
    // There is no window to keep responsive, and the page-text service needs no
    // event loop; each dispatch costs a poll() of the event sources, which on a
    // run of 100,000 files is more than the run's own work. A few times a second
    // is plenty for what may be posted.
    if (m_sinceDispatch.isValid() && m_sinceDispatch.elapsed() < 50)
        return;
    m_sinceDispatch.start();
    QCoreApplication::processEvents();
}
