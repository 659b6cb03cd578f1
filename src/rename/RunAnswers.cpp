#include "rename/RunAnswers.h"

#include "platform/Boxes.h"
#include "rename/RenameRun.h"
#include "rename/TextRules.h"

namespace {
const QString kMustBeNumeric = QStringLiteral("Must be numeric.");
}

QString BoxAnswers::searchString()
{
    return m_boxes.input(QStringLiteral("Enter string to search for:"), QStringLiteral("Input X"),
                         QStringLiteral("String"));
}

QString BoxAnswers::wordCount(ContentMethod method)
{
    if (searchesText(method))
        return askUntilNumeric(QStringLiteral("Enter number of words to get:"),
                               QStringLiteral("Input N"), QStringLiteral("1"));
    return askUntilNumeric(QStringLiteral("Enter X"), QStringLiteral("Input X"),
                           QStringLiteral("1"));
}

QString BoxAnswers::wordNumbers()
{
    for (;;) {
        const QString typed = m_boxes.input(
            QStringLiteral("Please enter word numbers (for example 10, 11 will use the tenth "
                           "and eleventh word on the first page):"),
            QStringLiteral("Input X1, X2, X3"), QStringLiteral("10,11"));
        if (RenameRun::acceptsWordNumbers(typed))
            return typed;
        m_boxes.message(kMustBeNumeric);
    }
}

QString BoxAnswers::askUntilNumeric(const QString& prompt, const QString& title,
                                    const QString& defaultText)
{
    for (;;) {
        const QString typed = m_boxes.input(prompt, title, defaultText);
        if (TextRules::isNumeric(typed))
            return typed;
        m_boxes.message(kMustBeNumeric);
    }
}
