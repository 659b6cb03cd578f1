#pragma once

#include "RenameOptions.h"

#include <QString>

class Boxes;

// What a content run needs from the user before it starts: the window asks in
// input boxes, the command line takes its options. Asked once a run, in the
// order the methods need them.
class RunAnswers
{
public:
    virtual ~RunAnswers() = default;
    // The text searched for by the after/before methods; may be empty.
    virtual QString searchString() = 0;
    // N, the number of words to take: a numeric text. `method` is the content
    // method asking, since the after/before methods ask in other words.
    virtual QString wordCount(ContentMethod method) = 0;
    // The word numbers of the positions method, a list RenameRun accepts.
    virtual QString wordNumbers() = 0;
};

// The window's answers: input boxes, asked again after "Must be numeric." until
// the answer is usable.
class BoxAnswers : public RunAnswers
{
public:
    explicit BoxAnswers(Boxes& boxes) : m_boxes(boxes) {}
    QString searchString() override;
    QString wordCount(ContentMethod method) override;
    QString wordNumbers() override;

private:
    QString askUntilNumeric(const QString& prompt, const QString& title,
                            const QString& defaultText);
    Boxes& m_boxes;
};
