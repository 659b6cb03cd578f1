#pragma once

#include "rename/NamingRequest.h"
#include "rename/RenameOptions.h"

#include <QString>

#include <functional>

class Boxes;

// What a content run needs from the user before it starts: the window asks in
// input boxes, the command line takes its options. Asked once a run, in the
// order the methods need them; each answer is converted as it is given.
class RunAnswers
{
public:
    virtual ~RunAnswers() = default;
    // The text searched for by the after/before methods; may be empty.
    virtual QString searchString() = 0;
    // N, the number of words to take, from a numeric text (which may still not
    // fit: the number then carries its failure). `method` is the content method
    // asking, since the after/before methods ask in other words.
    virtual AnswerNumber wordCount(ContentMethod method) = 0;
    // The word numbers of the positions method, an acceptable list.
    virtual WordNumbers wordNumbers() = 0;

    // The request `method` needs, asked in its order.
    NamingRequest ask(ContentMethod method);
};

// The window's answers: input boxes, asked again after "Must be numeric." until
// the answer is usable.
class BoxAnswers : public RunAnswers
{
public:
    explicit BoxAnswers(Boxes& boxes) : m_boxes(boxes) {}
    QString searchString() override;
    AnswerNumber wordCount(ContentMethod method) override;
    WordNumbers wordNumbers() override;

private:
    AnswerNumber askUntilNumeric(const QString& prompt, const QString& title,
                                 const QString& defaultText);
    Boxes& m_boxes;
};

// Answers asked of another source, the last ones kept: the preview of new names
// starts from what the user answered last. Until then, the input boxes'
// own first texts.
class RememberingAnswers : public RunAnswers
{
public:
    explicit RememberingAnswers(RunAnswers& asked) : m_asked(asked) {}
    QString searchString() override;
    AnswerNumber wordCount(ContentMethod method) override;
    WordNumbers wordNumbers() override;

    QString lastSearchString() const { return m_search; }
    QString lastWordCount() const { return m_count; }
    QString lastWordNumbers() const { return m_numbers; }

    // Called after each answer.
    std::function<void()> onAnswered;

private:
    RunAnswers& m_asked;
    QString m_search = QStringLiteral("String");
    QString m_count = QStringLiteral("1");
    QString m_numbers = QStringLiteral("10,11");
};
