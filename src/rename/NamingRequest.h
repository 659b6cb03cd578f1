#pragma once

#include "platform/Failure.h"

#include <QList>
#include <QString>
#include <optional>

// The answers a content run is given (the word count, the word positions, the
// search string), converted once, where they are given: the window's input
// boxes or the command line's options. Everything below the run takes the
// request, never the typed text.
//
// A number that does not convert ("Overflow", "Type mismatch") is not reported
// where it is typed: it travels with the request as a Failure, and the statement
// that uses the number raises it, so that the report keeps the routine's label
// and statement number it has always had.

// One whole number as typed: its value, or the failure of its conversion.
class AnswerNumber
{
public:
    // The empty answer, which does not convert ("Type mismatch").
    AnswerNumber();
    explicit AnswerNumber(qint32 value) : m_value(value) {}
    // Converts `text` as TextRules::toWholeNumber does; never throws.
    static AnswerNumber fromText(const QString& text);

    // The number; throws the conversion's Failure.
    qint32 value() const;
    bool converted() const { return !m_failure; }
    // The number, or `fallback` when it did not convert.
    qint32 valueOr(qint32 fallback) const { return m_failure ? fallback : m_value; }
    const std::optional<Failure>& failure() const { return m_failure; }

private:
    qint32 m_value = 0;
    std::optional<Failure> m_failure;
};

// The positions method's list of word numbers ("10,11"), split once at its
// commas. Empty pieces are kept, as typed.
class WordNumbers
{
public:
    struct Entry
    {
        bool numeric = false; // an entry that is not numeric names no word
        AnswerNumber number;  // converted when numeric
    };

    WordNumbers() = default;
    static WordNumbers fromText(const QString& text);

    // The list as typed.
    const QString& text() const { return m_text; }
    // Nothing but blanks: the positions method names nothing.
    bool isBlank() const { return m_blank; }
    const QList<Entry>& entries() const { return m_entries; }
    // The answer is taken when it has at least one entry and every one is numeric.
    bool acceptable() const;
    // The first entry, which the positions method takes as the first word it may
    // look at; the empty answer when there is none.
    AnswerNumber first() const;
    // The last entry's number when it is numeric and converts: the last word the
    // positions method may look at.
    std::optional<qint32> last() const;

private:
    QString m_text;
    bool m_blank = true;
    QList<Entry> m_entries;
};

// What a content run was asked to name files by.
struct NamingRequest
{
    // N: the number of words, or for the positions method the first position.
    AnswerNumber wordCount;
    WordNumbers wordNumbers; // the positions method
    QString searchString;    // the after/before methods; may be empty

    // The request as the answers are typed (the tests and the prompts' callers).
    static NamingRequest fromText(const QString& wordCount, const QString& wordNumbers = {},
                                  const QString& searchString = {});
    // A request whose count is already a number.
    static NamingRequest of(qint32 wordCount, const QString& wordNumbers = {},
                            const QString& searchString = {});
    // The positions method's request: the first word number is its count.
    static NamingRequest forPositions(WordNumbers numbers);

    // The highest word position the positions method may look at: the count
    // (at least 1) or the last word number, whichever is higher.
    qint64 highestPosition() const;
};
