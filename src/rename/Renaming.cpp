#include "rename/Renaming.h"

#include "platform/FileSystem.h"
#include "platform/PageText.h"
#include "rename/MetaPattern.h"
#include "rename/StreamedText.h"
#include "rename/TextLines.h"
#include "rename/TextRules.h"

#include <algorithm>

using TextRules::trimBlanks;

namespace {

constexpr QChar kBlank = QLatin1Char(' ');

// Every LF goes, every CR becomes a blank: a CR LF pair is one blank, a line
// ending in LF alone runs into the next one.
QString applyLineBreakRule(QString text)
{
    text.remove(QLatin1Char('\n'));
    text.replace(QLatin1Char('\r'), kBlank);
    return text;
}

// The first `count` blank-separated words of `text`, joined by single blanks
// and trimmed; empty when the text has fewer words. Words 1 to N joined by
// blanks are exactly the text up to its N-th blank, so no word list is built.
QString firstWords(const QString& text, qint32 count)
{
    if (count <= 0)
        return {};
    const QString words = trimBlanks(applyLineBreakRule(text));
    if (words.isEmpty())
        return {};
    qsizetype end = -1;
    for (qint32 n = 0; n < count; ++n) {
        end = words.indexOf(kBlank, end + 1);
        if (end < 0) {
            if (n < count - 1)
                return {}; // fewer than `count` words
            end = words.size();
            break;
        }
    }
    return trimBlanks(words.left(end));
}

// Method 1: the words at the positions listed in `numbers`, in text order,
// looking only at positions from `first` to the value of the last entry.
QString wordsAtPositions(Trap& trap, const QString& text, qint32 first, const WordNumbers& numbers,
                         const QString& fallbackName)
{
    if (numbers.isBlank())
        return {};

    // An entry that does not fit in 32 bits is reported once and names no word.
    QList<qint32> positions;
    const QList<WordNumbers::Entry>& entries = numbers.entries();
    for (const WordNumbers::Entry& entry : entries) {
        if (entry.numeric)
            trap(110, [&] { positions.append(entry.number.value()); });
    }
    qint32 last = numbers.last().value_or(0);

    const QString joined = applyLineBreakRule(text);
    if (joined.isEmpty())
        return fallbackName;
    const QStringList words = TextRules::splitText(trimBlanks(joined), kBlank);
    if (words.size() < first)
        return {};
    if (last > words.size())
        last = qint32(words.size());

    std::sort(positions.begin(), positions.end());
    positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
    QString name;
    for (const qint32 p : std::as_const(positions)) {
        if (p >= first && p <= last && p >= 1)
            name += words.at(p - 1) + kBlank;
    }
    return trimBlanks(name);
}

// Methods 2 and 3: the first words after, or before, the first occurrence of
// `searchString`. Any other method takes the first words without a cut.
QString wordsAroundString(ContentMethod method, QString text, qint32 count,
                          const QString& searchString, const QString& fallbackName)
{
    if (searchString.isEmpty())
        return {};
    if (searchesText(method)) {
        const qsizetype at = TextRules::findText(text, searchString);
        if (at < 0)
            text.clear();
        else if (method == ContentMethod::WordsAfter)
            text = text.mid(at + searchString.size());
        else
            text = text.left(at); // only what stands before the search string
    }
    if (text.isEmpty())
        return fallbackName;
    return firstWords(text, count);
}

// A code's value as a browser reads the page: the title, the <meta> elements.
QString htmlFieldValue(const PageMetadata& page, char16_t letter)
{
    const auto firstOf = [&](std::initializer_list<QStringView> keys) {
        for (const QStringView key : keys) {
            const QString value = page.content(key);
            if (!value.isEmpty())
                return value;
        }
        return QString();
    };
    switch (letter) {
    case u't':
        return page.title.isEmpty() ? firstOf({u"og:title", u"twitter:title"}) : page.title;
    case u'a':
        return page.content(u"author");
    case u's':
        return page.content(u"description");
    case u'k':
        return page.content(u"keywords");
    case u'c':
    case u'p':
        return page.content(u"generator");
    case u'd':
        return firstOf({u"dc.date", u"dcterms.created", u"article:published_time", u"date"});
    case u'm':
        return firstOf({u"dcterms.modified", u"article:modified_time", u"last-modified"});
    default:
        return {}; // a page count means nothing for a web page
    }
}

// The reports of a reader that knows no file to name: they name the namer's
// file, and the last one is kept, as the reason to pass the file over.
class FileReports : public ErrorReporter
{
public:
    FileReports(ErrorReporter& to, const QString& file) : m_to(to), m_file(file) {}

    void reportError(const QString& label, int line, const QString& description) override
    {
        reportFailure(label, line, Failure(description), QString());
    }
    void reportFailure(const QString& label, int line, const Failure& failure,
                       const QString& subject) override
    {
        last = failure;
        m_to.reportFailure(label, line, failure, subject.isEmpty() ? m_file : subject);
    }

    std::optional<Failure> last;

private:
    ErrorReporter& m_to;
    const QString& m_file;
};

} // namespace

QString metaFieldValue(const TextLines& lines, const QString& field)
{
    qsizetype at;
    if (field.isEmpty())
        at = lines.firstNonEmptyLine();
    else
        at = TextRules::findText(lines.text(), field);
    if (at < 0)
        return {};
    // A field name holds no line break, so the first match in the whole text
    // lies in the first line that holds one.
    qsizetype lineStart = 0;
    const QStringView line = lines.lineAround(at, &lineStart);
    QStringView value = line.mid(at + field.size() - lineStart);
    const qsizetype close = value.indexOf(u"</");
    if (close >= 0)
        value = value.left(close);
    return TextRules::trimBlanks(value.toString());
}

Renaming::Renaming(const RenameOptions& options, ErrorReporter& reporter)
    : m_options(options), m_reporter(reporter), m_copier(options)
{
}

void Renaming::beginFile(Trap& trap, const QString& sourcePath)
{
    trap.setSubject(sourcePath);
    m_copier.setDryRun(m_dryRun);
}

void Renaming::setBetweenChunks(FileSystem::BetweenChunks between)
{
    m_between = between;
    m_copier.setBetweenChunks(std::move(between));
}

NameResult Renaming::RenameFile(const QString& sourcePath, const NamingRequest& request,
                                const QString& pageText)
{
    FileSystem::Source source(sourcePath);
    return RenameFile(source, request, pageText);
}

NameResult Renaming::RenameFile(FileSystem::Source& source, const NamingRequest& request,
                                const QString& pageText)
{
    Trap trap(m_reporter, QStringLiteral("in Orlesk2021/08/31.Renaming.RenameFile "));
    const QString& sourcePath = source.path();
    beginFile(trap, sourcePath);

    bool found = false;
    trap(10, [&] {
        source.refuseSpecial(); // a device or pipe is reported, not skipped
        found = source.isOrdinary();
    });
    if (!found)
        return NameResult::passedOver(SkipCause::NotOrdinary, trap.lastFailure());

    std::optional<QString> extension;
    trap(20, [&] { extension = GetExtension(sourcePath); });

    QString text;
    TagMode tagMode = TagMode::None;
    trap(25, [&] { tagMode = m_options.tagMode(); });
    // Read once: the options may change while a large page is read, and the text
    // kept is only what this method needs.
    ContentMethod method = ContentMethod::FirstWords;
    trap(26, [&] { method = m_options.contentMethod(); });
    switch (tagMode) {
    case TagMode::IgnoreTags:
        text = pageText;
        break;
    case TagMode::ConsiderTags: {
        bool includeHead = false;
        trap(50, [&] { includeHead = m_options.includeTagsBeforeBody(); });
        trap(30, [&] {
            text =
                StreamedText::ReadConsideredText(source, includeHead, method, request, m_between);
        });
        break;
    }
    case TagMode::None:
        break;
    }

    QString fallbackName;
    trap(60, [&] { fallbackName = StripExtension(GetFileName(sourcePath)); });

    QString newName;
    trap(70, [&] {
        const qint32 wordCount = request.wordCount.value();
        if (method == ContentMethod::FirstWords)
            newName = text.isEmpty() ? fallbackName : firstWords(text, wordCount);
        else if (method == ContentMethod::WordPositions)
            newName = wordsAtPositions(trap, text, wordCount, request.wordNumbers, fallbackName);
        else
            newName =
                wordsAroundString(method, text, wordCount, request.searchString, fallbackName);
    });

    NameResult result;
    trap(80, [&] {
        // The fallback is the source's own name, which the copy keeps as it is
        // (words equal to it are the same name).
        const NameOrigin origin =
            newName == fallbackName ? NameOrigin::SourceName : NameOrigin::Page;
        const auto copied =
            m_copier.FinishRename(source, newName, extension, NameVariant::Content, origin);
        if (copied)
            result = NameResult::made(copied->name, copied->target, copied->written);
    });
    if (result.renamed)
        return result;
    return NameResult::passedOver(newName.isEmpty() ? SkipCause::EmptyName : SkipCause::NoNameLeft,
                                  trap.lastFailure());
}

NameResult Renaming::RenameMeta(const QString& sourcePath, const QString& pattern,
                                const PageMetadata* page)
{
    FileSystem::Source source(sourcePath);
    return RenameMeta(source, pattern, page);
}

NameResult Renaming::RenameMeta(FileSystem::Source& source, const QString& pattern,
                                const PageMetadata* page)
{
    Trap trap(m_reporter, QStringLiteral("in Orlesk2021/08/31.Renaming.RenameMeta "));
    const QString& sourcePath = source.path();
    beginFile(trap, sourcePath);
    bool found = false;

    std::optional<QString> extension;
    trap(10, [&] { extension = GetExtension(sourcePath); });

    QString name;
    TextLines lines;
    bool noPattern = false;
    trap(15, [&] { noPattern = trimBlanks(pattern).isEmpty(); });
    if (noPattern) {
        // No pattern: the file keeps its own name, and is not even read.
        trap(20, [&] { name = StripExtension(GetFileName(sourcePath)); });
    } else {
        trap(30, [&] {
            source.refuseSpecial(); // a device or pipe is reported
            found = source.isOrdinary();
        });
        if (found) {
            std::optional<MetaPattern> parsed;
            trap(33, [&] { parsed.emplace(pattern); });
            if (parsed && !page) {
                FileReports reads(m_reporter, sourcePath);
                trap(36, [&] {
                    lines = StreamedText::ReadFieldLines(source, parsed->fieldNames(), reads,
                                                         m_between);
                });
                // A page that could not be read names nothing, not even by the
                // literal text of the pattern.
                if (reads.last)
                    return NameResult::passedOver(SkipCause::Failed, reads.last);
            }
            trap(50, [&] {
                if (!parsed)
                    return;
                name = parsed->compose([&](const MetaPattern::Field& field) {
                    return page ? htmlFieldValue(*page, field.letter)
                                : metaFieldValue(lines, field.name);
                });
            });
            trap(70, [&] { name = trimBlanks(name); });
        }
    }

    NameResult result;
    trap(80, [&] {
        // Only a file that was read can give a name here, so its content is at
        // hand for the copy whenever there are lines.
        const auto copied =
            m_copier.FinishRename(source, name, extension, NameVariant::Metadata,
                                  noPattern ? NameOrigin::SourceName : NameOrigin::Page);
        if (copied)
            result = NameResult::made(copied->name, copied->target, copied->written);
    });
    if (result.renamed)
        return result;
    SkipCause cause = name.isEmpty() ? SkipCause::EmptyName : SkipCause::NoNameLeft;
    if (!noPattern && !found)
        cause = SkipCause::NotOrdinary;
    return NameResult::passedOver(cause, trap.lastFailure());
}
