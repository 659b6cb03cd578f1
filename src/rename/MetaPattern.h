#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

// A metadata pattern such as "%a - %t" or "Saved %t (%d)", read once.
//
// The pattern is a list of tokens separated by "-", each with the blanks around
// it removed. Within a token each field code ("%a", "%t", ... : a "%" and one
// small letter of the table) stands for its value, and everything else is
// literal text kept as written. A token whose codes all have empty values adds
// nothing; a token without codes is its text. The tokens' texts are joined by
// " - ", which follows every non-empty text but the last token's, so a pattern
// whose later values are empty ends in the separator; the caller trims it.
class MetaPattern
{
public:
    // One field code: its letter (the character after "%") and the word the
    // line search looks for.
    struct Field
    {
        char16_t letter;
        QString name;
    };

    explicit MetaPattern(const QString& pattern);

    // The line-search words of the codes the pattern uses, in pattern order,
    // each once.
    QStringList fieldNames() const;

    // The working name with each code replaced by `valueOf` of it; each value
    // is asked for once, in pattern order.
    QString compose(const std::function<QString(const Field&)>& valueOf) const;

    // The code for "%" + `letter`; nullptr when there is none.
    static const Field* fieldFor(QChar letter);

private:
    struct Piece
    {
        QString literal;             // text kept as written, when field is null
        const Field* field = nullptr;
    };
    QList<QList<Piece>> m_tokens;
};
