#include "rename/NamingRequest.h"

#include "rename/TextRules.h"

#include <algorithm>

AnswerNumber::AnswerNumber() : m_failure(Failure(QStringLiteral("Type mismatch"), 13)) {}

AnswerNumber AnswerNumber::fromText(const QString& text)
{
    AnswerNumber number;
    try {
        number.m_value = TextRules::toWholeNumber(text);
        number.m_failure.reset();
    } catch (const Failure& failure) {
        number.m_failure = failure;
    }
    return number;
}

qint32 AnswerNumber::value() const
{
    if (m_failure)
        throw *m_failure;
    return m_value;
}

WordNumbers WordNumbers::fromText(const QString& text)
{
    WordNumbers numbers;
    numbers.m_text = text;
    numbers.m_blank = TextRules::trimBlanks(text).isEmpty();
    const QStringList pieces = TextRules::splitText(text, QLatin1Char(','));
    numbers.m_entries.reserve(pieces.size());
    for (const QString& piece : pieces) {
        Entry entry;
        entry.numeric = TextRules::isNumeric(piece);
        if (entry.numeric)
            entry.number = AnswerNumber::fromText(piece);
        numbers.m_entries.append(entry);
    }
    return numbers;
}

bool WordNumbers::acceptable() const
{
    return !m_entries.isEmpty() && std::all_of(m_entries.begin(), m_entries.end(),
                                               [](const Entry& e) { return e.numeric; });
}

AnswerNumber WordNumbers::first() const
{
    return m_entries.isEmpty() ? AnswerNumber() : m_entries.first().number;
}

std::optional<qint32> WordNumbers::last() const
{
    if (m_entries.isEmpty() || !m_entries.last().numeric || !m_entries.last().number.converted())
        return std::nullopt;
    return m_entries.last().number.valueOr(0);
}

NamingRequest NamingRequest::fromText(const QString& wordCount, const QString& wordNumbers,
                                      const QString& searchString)
{
    NamingRequest request;
    request.wordCount = AnswerNumber::fromText(wordCount);
    request.wordNumbers = WordNumbers::fromText(wordNumbers);
    request.searchString = searchString;
    return request;
}

NamingRequest NamingRequest::of(qint32 wordCount, const QString& wordNumbers,
                                const QString& searchString)
{
    NamingRequest request;
    request.wordCount = AnswerNumber(wordCount);
    request.wordNumbers = WordNumbers::fromText(wordNumbers);
    request.searchString = searchString;
    return request;
}

NamingRequest NamingRequest::forPositions(WordNumbers numbers)
{
    NamingRequest request;
    request.wordCount = numbers.first();
    request.wordNumbers = std::move(numbers);
    return request;
}

qint64 NamingRequest::highestPosition() const
{
    qint64 most = std::max<qint64>(wordCount.valueOr(1), 1);
    if (const auto last = wordNumbers.last())
        most = std::max<qint64>(most, *last);
    return most;
}
