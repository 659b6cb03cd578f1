#include "rename/MetaPattern.h"

#include "rename/TextRules.h"

namespace {

const MetaPattern::Field kFields[] = {
    {u'a', QStringLiteral("Author")},       {u't', QStringLiteral("Title")},
    {u's', QStringLiteral("Subject")},      {u'c', QStringLiteral("Creator")},
    {u'p', QStringLiteral("Producer")},     {u'k', QStringLiteral("Keywords")},
    {u'd', QStringLiteral("CreationDate")}, {u'm', QStringLiteral("ModDate")},
    {u'g', QStringLiteral("Pages")},
};

} // namespace

const MetaPattern::Field* MetaPattern::fieldFor(QChar letter)
{
    for (const Field& field : kFields)
        if (letter == field.letter)
            return &field;
    return nullptr;
}

MetaPattern::MetaPattern(const QString& pattern)
{
    const QStringList tokens = TextRules::splitText(pattern, QLatin1Char('-'));
    for (const QString& raw : tokens) {
        const QString token = TextRules::trimBlanks(raw);
        QList<Piece> pieces;
        QString literal;
        for (qsizetype i = 0; i < token.size(); ++i) {
            const Field* field = token.at(i) == u'%' && i + 1 < token.size()
                                     ? fieldFor(token.at(i + 1))
                                     : nullptr;
            if (!field) {
                literal += token.at(i);
                continue;
            }
            if (!literal.isEmpty())
                pieces.append({literal, nullptr});
            literal.clear();
            pieces.append({QString(), field});
            ++i;
        }
        if (!literal.isEmpty())
            pieces.append({literal, nullptr});
        m_tokens.append(pieces);
    }
}

QStringList MetaPattern::fieldNames() const
{
    QStringList names;
    for (const QList<Piece>& token : m_tokens)
        for (const Piece& piece : token)
            if (piece.field && !names.contains(piece.field->name))
                names.append(piece.field->name);
    return names;
}

QString MetaPattern::compose(const std::function<QString(const Field&)>& valueOf) const
{
    QString name;
    for (qsizetype t = 0; t < m_tokens.size(); ++t) {
        QString text;
        bool hasCode = false;
        bool anyValue = false;
        for (const Piece& piece : m_tokens.at(t)) {
            if (!piece.field) {
                text += piece.literal;
                continue;
            }
            hasCode = true;
            const QString value = valueOf(*piece.field);
            anyValue = anyValue || !value.isEmpty();
            text += value;
        }
        if (hasCode && !anyValue)
            text.clear();
        name += text;
        if (t != m_tokens.size() - 1 && !text.isEmpty())
            name += QStringLiteral(" - ");
    }
    return name;
}
