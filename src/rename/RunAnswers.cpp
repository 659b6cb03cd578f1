#include "rename/RunAnswers.h"

#include "platform/Boxes.h"
#include "rename/TextRules.h"

namespace {
const QString kMustBeNumeric = QStringLiteral("Must be numeric.");
}

QString BoxAnswers::searchString()
{
    return m_boxes.input(QStringLiteral("Enter string to search for:"), QStringLiteral("Input X"),
                         QStringLiteral("String"));
}

NamingRequest RunAnswers::ask(ContentMethod method)
{
    switch (method) {
    case ContentMethod::WordsAfter:
    case ContentMethod::WordsBefore: {
        NamingRequest request;
        request.searchString = searchString();
        request.wordCount = wordCount(method);
        return request;
    }
    case ContentMethod::WordPositions:
        return NamingRequest::forPositions(wordNumbers());
    case ContentMethod::FirstWords:
    default: { // a value from outside the list reads as its first method
        NamingRequest request;
        request.wordCount = wordCount(method);
        return request;
    }
    }
}

AnswerNumber BoxAnswers::wordCount(ContentMethod method)
{
    if (searchesText(method))
        return askUntilNumeric(QStringLiteral("Enter number of words to get:"),
                               QStringLiteral("Input N"), QStringLiteral("1"));
    return askUntilNumeric(QStringLiteral("Enter X"), QStringLiteral("Input X"),
                           QStringLiteral("1"));
}

WordNumbers BoxAnswers::wordNumbers()
{
    for (;;) {
        WordNumbers typed = WordNumbers::fromText(m_boxes.input(
            QStringLiteral("Please enter word numbers (for example 10, 11 will use the tenth "
                           "and eleventh word on the first page):"),
            QStringLiteral("Input X1, X2, X3"), QStringLiteral("10,11")));
        if (typed.acceptable())
            return typed;
        m_boxes.message(kMustBeNumeric);
    }
}

AnswerNumber BoxAnswers::askUntilNumeric(const QString& prompt, const QString& title,
                                         const QString& defaultText)
{
    for (;;) {
        const QString typed = m_boxes.input(prompt, title, defaultText);
        if (TextRules::isNumeric(typed))
            return AnswerNumber::fromText(typed);
        m_boxes.message(kMustBeNumeric);
    }
}

QString RememberingAnswers::searchString()
{
    m_search = m_asked.searchString();
    if (onAnswered)
        onAnswered();
    return m_search;
}

AnswerNumber RememberingAnswers::wordCount(ContentMethod method)
{
    const AnswerNumber count = m_asked.wordCount(method);
    // A number too large to convert is still numeric as typed; the field keeps
    // the last one that converted.
    if (count.converted())
        m_count = QString::number(count.value());
    if (onAnswered)
        onAnswered();
    return count;
}

WordNumbers RememberingAnswers::wordNumbers()
{
    const WordNumbers numbers = m_asked.wordNumbers();
    m_numbers = numbers.text();
    if (onAnswered)
        onAnswered();
    return numbers;
}
