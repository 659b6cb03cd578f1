#include "rename/StreamedText.h"

#include "platform/NameBounds.h"
#include "platform/Trap.h"
#include "platform/Utf8.h"
#include "rename/ByteSearch.h"
#include "rename/TextRules.h"

#include <QStringDecoder>
#include <algorithm>
#include <memory>
#include <optional>
#include <tuple>
#include <vector>

namespace StreamedText {

namespace {

constexpr qsizetype kReadChunk = 4 * 1024 * 1024;
constexpr qsizetype kDecodeChunk = 1024 * 1024;

// A page read in pieces, decoded as the shared decoder decodes the whole file.
// The decoder's choice depends on every byte (valid UTF-8 throughout, or not),
// so a first pass looks at all of them, keeping none.
class PageStream
{
public:
    PageStream(FileSystem::SourceFile& file, const FileSystem::BetweenChunks& between)
        : m_file(file), m_between(between)
    {
        m_file.rewind();
    }

    const FileSystem::FileStamp& stamp() const { return m_file.stamp(); }

    // Decides the encoding; with `findBody`, also finds where the text after
    // the first "<body>" (any letter case) begins. Matching the six ASCII
    // characters on bytes is exact: no other character folds to one of them,
    // and each decodes from its own byte in every encoding used here.
    void examine(bool findBody)
    {
        static constexpr char kBody[] = "<body>";
        QByteArray buffer(kReadChunk, Qt::Uninitialized);
        qint64 offset = 0;
        int matched = 0; // characters of "<body>" matched so far
        bool bodyDone = !findBody;
        bool encodingDone = false;
        bool multiByte = false;
        bool valid = true;
        QByteArray pending; // an incomplete UTF-8 sequence at a chunk's end
        for (;;) {
            if (bodyDone && encodingDone)
                break;
            const qsizetype got = m_file.read(buffer.data(), kReadChunk);
            if (got == 0)
                break;
            const auto* p = reinterpret_cast<const unsigned char*>(buffer.constData());
            if (offset == 0 && TextRules::startsWithUtf8Bom(QByteArrayView(buffer).first(got))) {
                m_encoding = TextRules::TextEncoding::Utf8;
                m_textStart = TextRules::kUtf8BomSize;
                encodingDone = true;
            }
            for (qsizetype i = 0; i < got && !bodyDone; ++i) {
                const char c = char(p[i] >= 'A' && p[i] <= 'Z' ? p[i] - 'A' + 'a' : p[i]);
                if (c == kBody[matched]) {
                    if (++matched == 6) {
                        m_bodyEnd = offset + i + 1;
                        bodyDone = true;
                    }
                } else {
                    matched = c == '<' ? 1 : 0;
                }
            }
            if (!encodingDone) {
                pending.append(buffer.constData(), got);
                checkUtf8(pending, multiByte, valid);
                if (!valid)
                    encodingDone = true;
            }
            offset += got;
            if (m_between)
                m_between();
        }
        if (m_textStart == 0) {
            if (!pending.isEmpty())
                valid = false; // the file ends inside a sequence
            m_encoding = TextRules::textEncoding(false, valid, multiByte);
        }
    }

    qint64 bodyEnd() const { return m_bodyEnd; }

    // Starts decoding at byte `offset`, or at the start of the text.
    void start(qint64 offset = -1)
    {
        m_file.rewind(std::max(offset, m_textStart));
        m_decoder.emplace(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    }

    // The next piece of text; false at the end.
    bool next(QString& text)
    {
        QByteArray bytes(kDecodeChunk, Qt::Uninitialized);
        const qsizetype got = m_file.read(bytes.data(), kDecodeChunk);
        if (m_between)
            m_between();
        if (got == 0) {
            text.clear();
            return false;
        }
        const QByteArrayView piece(bytes.constData(), got);
        switch (m_encoding) {
        case TextRules::TextEncoding::Ascii:
            text = QString::fromLatin1(piece);
            break;
        case TextRules::TextEncoding::Windows1252:
            text = TextRules::decodeWindows1252(piece);
            break;
        case TextRules::TextEncoding::Utf8:
            text = (*m_decoder)(piece);
            break;
        }
        return true;
    }

private:
    // Checks the complete sequences of `bytes`, leaving in it only an incomplete
    // one at its end, which the next chunk completes (or the end leaves invalid).
    static void checkUtf8(QByteArray& bytes, bool& multiByte, bool& valid)
    {
        const Utf8::Check check = Utf8::check(bytes.constData(), size_t(bytes.size()));
        // Any byte past ASCII counts, even one that ends the check: it is what
        // tells a single-byte page from plain ASCII.
        multiByte = multiByte || check.multiByte || check.verdict != Utf8::Check::Valid;
        if (check.verdict == Utf8::Check::Invalid) {
            valid = false;
            return;
        }
        qsizetype keep = 0;
        if (check.verdict == Utf8::Check::CutShort) {
            // The cut sequence is its lead byte and at most two continuation bytes.
            keep = 1;
            while ((uchar(bytes.at(bytes.size() - keep)) & 0xC0) == 0x80)
                ++keep;
        }
        bytes.remove(0, bytes.size() - keep);
    }

    FileSystem::SourceFile& m_file;
    FileSystem::BetweenChunks m_between;
    TextRules::TextEncoding m_encoding = TextRules::TextEncoding::Ascii;
    qint64 m_textStart = 0; // after a byte-order mark
    qint64 m_bodyEnd = -1;
    std::optional<QStringDecoder> m_decoder;
};

// The shortest start of a text that decides its first `wanted` words as the
// word rules cut them (LF dropped, CR a blank, blanks trimmed, words between
// single blanks): the words are decided once `wanted` blanks follow the first
// word and something that is not a blank follows them, since trailing blanks
// are trimmed away.
//
// A run of one character that a name can never hold (a control character:
// the name's clean-up drops it) is kept only `runCap` long. That changes no
// word and no name, and, with `runCap` longer than the search string, no
// occurrence of it; but a page of zeros is then one short word, not gigabytes.
// Likewise a word is kept only as long as a name can hold (NameBounds): a page
// that is one endless word costs no more than one of short words.
class WordPrefix
{
public:
    WordPrefix(qint64 wanted, qsizetype runCap) : m_wanted(wanted), m_runCap(runCap) {}

    bool decided() const { return m_decided; }
    // Something was offered after the words were decided.
    bool cut() const { return m_cut; }
    const QString& text() const { return m_text; }

    void feed(QStringView raw)
    {
        if (raw.isEmpty())
            return;
        if (m_decided) {
            m_cut = true;
            return;
        }
        if (m_wanted <= 0) { // no word is taken; only whether there is text counts
            m_text.append(raw.first());
            m_decided = true;
            m_cut = raw.size() > 1;
            return;
        }
        for (qsizetype i = 0; i < raw.size(); ++i) {
            const QChar c = raw[i];
            const char16_t u = c.unicode();
            if (u != u'\n') {
                const bool blank = u == u' ' || u == u'\r';
                if (!blank) {
                    if (!m_inWord)
                        m_word.startWord(!m_started);
                    m_inWord = true;
                    if (m_blanks >= m_wanted) {
                        keep(c);
                        m_decided = true;
                        m_cut = i + 1 < raw.size();
                        return;
                    }
                    m_started = true;
                    if (!m_word.keep(u))
                        continue; // past what a name can hold of this word
                } else {
                    m_inWord = false;
                    if (m_started)
                        ++m_blanks;
                }
            }
            keep(c);
        }
    }

private:
    static bool neverInName(QChar c)
    {
        const int code = TextRules::ansiCode(c);
        return c != u'\n' && c != u'\r' && (code < 32 || (code >= 127 && code <= 159));
    }

    void keep(QChar c)
    {
        if (neverInName(c) && !m_text.isEmpty() && m_text.back() == c) {
            if (++m_run >= m_runCap)
                return;
        } else {
            m_run = 0;
        }
        m_text.append(c);
    }

    qint64 m_wanted;
    qsizetype m_runCap;
    qsizetype m_run = 0; // repeats of the last character kept, beyond the first
    qint64 m_blanks = 0; // blanks after the first word
    bool m_started = false;
    bool m_inWord = false;
    NameBounds::WordBudget m_word; // of the word being read
    bool m_decided = false;
    bool m_cut = false;
    QString m_text;
};

// A character that cannot be part of any occurrence of `needle`.
QChar characterNotIn(const QString& needle)
{
    for (char16_t c = 1;; ++c) {
        if (TextRules::findText(needle, QStringView(&c, 1)) < 0)
            return QChar(c);
    }
}

QString wordsFromStart(PageStream& page, qint64 wanted)
{
    WordPrefix prefix(wanted, 2);
    QString piece;
    while (!prefix.decided() && page.next(piece))
        prefix.feed(piece);
    return prefix.text();
}

// The after/before methods: only the first occurrence of the search string and the
// words on the side the method takes matter.
QString wordsAroundOccurrence(PageStream& page, ContentMethod method, const QString& needle,
                              qint32 count)
{
    const bool before = method == ContentMethod::WordsBefore;
    const qsizetype runCap = needle.size() + 1;
    WordPrefix left(count, runCap);
    QString tail; // the end of the text read so far, where an occurrence may begin
    QString piece;
    while (page.next(piece)) {
        const QString window = tail + piece;
        const qsizetype at = TextRules::findText(window, needle);
        if (at >= 0) {
            const QString occurrence = window.mid(at, needle.size());
            if (before) {
                left.feed(QStringView(window).left(at));
                // Whatever stood between the words kept and the occurrence may
                // not make an earlier occurrence of its own.
                return left.text() + (left.cut() ? QString(characterNotIn(needle)) : QString()) +
                       occurrence;
            }
            WordPrefix right(count, runCap);
            right.feed(QStringView(window).mid(at + needle.size()));
            while (!right.decided() && page.next(piece))
                right.feed(piece);
            return occurrence + right.text();
        }
        const qsizetype keep = std::min<qsizetype>(needle.size() - 1, window.size());
        if (before)
            left.feed(QStringView(window).left(window.size() - keep));
        tail = window.right(keep);
    }
    return {}; // not found: the namer falls back to the file's own name
}

} // namespace

QString ReadConsideredText(FileSystem::Source& source, bool includeHead, ContentMethod method,
                           const NamingRequest& request, const FileSystem::BetweenChunks& between)
{
    const qint32 count = request.wordCount.valueOr(0); // one that did not convert names nothing
    PageStream page(source.file(), between);
    page.examine(!includeHead);
    page.start(includeHead ? -1 : page.bodyEnd());

    switch (method) {
    case ContentMethod::WordPositions:
        return wordsFromStart(page, request.highestPosition());
    case ContentMethod::WordsAfter:
    case ContentMethod::WordsBefore:
        if (request.searchString.isEmpty())
            return {};
        return wordsAroundOccurrence(page, method, request.searchString, count);
    default:
        return wordsFromStart(page, count);
    }
}

namespace {

// What one field's value is taken from, while it is being read: its line up
// to and with the first "</", and of the value only as much as a name can take
// (NameBounds), so that a value of any length costs no more than a short one.
// Blanks count with the characters a name loses: inside a value they stay,
// yet more than kLostKept of those make a name too long anyway.
struct FieldLine
{
    QString field;
    qint64 at = 0; // where the text begins in the file's text
    QString text;  // from the occurrence on
    qsizetype valueFrom = 0;
    bool open = true; // its line and value go on

    size_t nameBytes = 0;
    size_t lost = 0;
    bool leading = true;   // nothing of the value kept yet but what a name loses
    bool endsInLt = false; // what came so far ends in "<"

    FieldLine(QString f, qint64 position, QString start)
        : field(std::move(f)), at(position), text(std::move(start)), valueFrom(text.size())
    {
    }

    void add(QStringView raw)
    {
        if (!open || raw.isEmpty())
            return;
        qsizetype close = -1; // the "/" of the first "</"
        if (endsInLt && raw.front() == u'/') {
            close = 0;
        } else {
            const qsizetype lt = raw.indexOf(u"</");
            if (lt >= 0)
                close = lt + 1;
        }
        endsInLt = raw.back() == u'<';
        const QStringView part = close >= 0 ? raw.left(std::max<qsizetype>(close - 1, 0)) : raw;
        for (const QChar c : part) {
            const char16_t u = c.unicode();
            if (NameBounds::dropped(u) || u == u' ' || (leading && u == u'.')) {
                if (++lost <= NameBounds::kLostKept)
                    text.append(c);
                continue;
            }
            leading = false;
            nameBytes += NameBounds::utf8Bytes(u);
            text.append(c);
            if (nameBytes > NameBounds::kLongestName) {
                open = false; // the rest cannot change the name
                return;
            }
        }
        if (close >= 0) {
            text.append(close == 0 && text.endsWith(u'<') ? QStringLiteral("/")
                                                          : QStringLiteral("</"));
            open = false;
        }
    }
};

} // namespace

namespace {

QString
joinedLines(std::vector<std::pair<std::tuple<qint64, qint64, qsizetype>, const FieldLine*>> keyed)
{
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    QString text;
    for (const auto& entry : keyed)
        text += entry.second->text + QLatin1Char('\n');
    return text;
}

// The text being decoded whole, in pieces, as the decoder decodes it. Lines
// found before a failure are kept.
void readFieldLinesDecoded(FileSystem::SourceFile& file, const QStringList& fields,
                           const FileSystem::BetweenChunks& between, QList<FieldLine>& lines)
{
    PageStream page(file, between);
    page.examine(false);
    page.start();

    QStringList pending;
    bool firstLinePending = false;
    qsizetype longest = 0;
    for (const QString& field : fields) {
        if (field.isEmpty())
            firstLinePending = true;
        else if (!pending.contains(field))
            pending.append(field), longest = std::max(longest, field.size());
    }
    qsizetype openCount = 0;
    QString tail; // the end of the current line, where an occurrence may begin
    qint64 position = 0;
    QString piece;
    while ((!pending.isEmpty() || firstLinePending || openCount > 0) && page.next(piece)) {
        qsizetype i = 0;
        while (i < piece.size()) {
            qsizetype end = i;
            while (end < piece.size() && piece[end] != u'\n' && piece[end] != u'\r')
                ++end;
            const QStringView segment = QStringView(piece).mid(i, end - i);
            const qint64 segmentAt = position + i;
            for (FieldLine& line : lines) {
                if (!line.open)
                    continue;
                line.add(segment);
                if (!line.open)
                    --openCount;
            }
            if (firstLinePending && !segment.isEmpty()) {
                FieldLine line(QString(), segmentAt, QString());
                line.add(segment);
                openCount += line.open ? 1 : 0;
                lines.append(line);
                firstLinePending = false;
            }
            const QString window = tail + segment.toString();
            for (qsizetype f = 0; f < pending.size();) {
                const qsizetype at = TextRules::findText(window, pending.at(f));
                if (at < 0) {
                    ++f;
                    continue;
                }
                FieldLine line(pending.at(f), segmentAt - tail.size() + at,
                               window.mid(at, pending.at(f).size()));
                line.add(QStringView(window).mid(at + pending.at(f).size()));
                openCount += line.open ? 1 : 0;
                lines.append(line);
                pending.removeAt(f);
            }
            if (end < piece.size()) { // a line break: every line taken so far ends
                for (FieldLine& line : lines) {
                    if (line.open) {
                        line.open = false;
                        --openCount;
                    }
                }
                tail.clear();
                ++end;
            } else {
                tail = window.right(std::min<qsizetype>(longest - 1, window.size()));
            }
            i = end;
        }
        position += piece.size();
    }
}

QString joinedLines(const QList<FieldLine>& lines)
{
    std::vector<std::pair<std::tuple<qint64, qint64, qsizetype>, const FieldLine*>> keyed;
    keyed.reserve(size_t(lines.size()));
    for (const FieldLine& line : lines)
        keyed.push_back({{line.at, 0, 0}, &line});
    return joinedLines(std::move(keyed));
}

// A line a field's value is taken from, read from the raw bytes: decoded as
// each encoding the page may still turn out to be in would decode it, in the
// same pieces as the decoding reader's, so that each reading is exactly its.
struct ByteFieldLine
{
    qint64 at = 0;          // the byte where its text begins
    qint64 foundIn = 0;     // the piece the decoding reader would find it in
    qsizetype order = 0;    // among the fields found in one piece; -1: the first line
    bool highBytes = false; // a byte past ASCII taken: the encoding decides the text
    bool ended = false;     // its line break was met
    std::optional<FieldLine> asUtf8;
    std::optional<FieldLine> asSingleByte; // Windows-1252, or Latin-1, which reads the same
    QStringDecoder decoder{QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom};

    bool open() const
    {
        return !ended && ((asUtf8 && asUtf8->open) || (asSingleByte && asSingleByte->open));
    }

    // The next bytes of the line; `withBreak`: its line break follows them.
    void take(const char* data, qsizetype size, bool withBreak)
    {
        for (qsizetype i = 0; i < size && !highBytes; ++i)
            highBytes = uchar(data[i]) >= 0x80;
        if (asSingleByte && asSingleByte->open)
            asSingleByte->add(TextRules::decodeWindows1252(QByteArrayView(data, size)));
        if (asUtf8 && asUtf8->open) {
            // The break goes through the decoder too: it ends a cut sequence
            // there as it does in the whole text.
            QString text = decoder(QByteArrayView(data, size + (withBreak ? 1 : 0)));
            if (withBreak)
                text.chop(1);
            asUtf8->add(text);
        }
        if (withBreak)
            ended = true;
    }
};

// Where a line's bytes stop mattering in [from, to): at its line break, or
// just after its first "</" (the value ends there). Second: a break stops it.
std::pair<qsizetype, bool> lineStop(const char* data, qsizetype from, qsizetype to)
{
    for (qsizetype i = from; i < to; ++i) {
        const char c = data[i];
        if (c == '\n' || c == '\r')
            return {i, true};
        if (c == '<' && i + 1 < to && data[i + 1] == '/')
            return {i + 2, false};
    }
    return {to, false};
}

// The fields' lines read from the bytes, decoding only the lines that are
// kept. Declines (nullopt) where its answer could differ from the decoding
// reader's: a field that is not ASCII, or a UTF-8 page holding one of the two
// letters that fold to an ASCII letter of a field.
std::optional<QString> readFieldLinesFromBytes(FileSystem::SourceFile& file,
                                               const QStringList& fields,
                                               const FileSystem::BetweenChunks& between)
{
    struct Pending
    {
        ByteSearch::CaselessText text;
        qsizetype order;
    };
    std::vector<Pending> pending;
    QStringList seen;
    bool firstLinePending = false;
    bool folding = false; // a field holds a letter that U+017F or U+212A folds to
    qsizetype longest = 0;
    for (const QString& field : fields) {
        if (field.isEmpty()) {
            firstLinePending = true;
            continue;
        }
        if (seen.contains(field))
            continue;
        seen.append(field);
        for (const QChar c : field) {
            if (c.unicode() >= 0x80)
                return std::nullopt;
        }
        // A field that holds a line break is never found: a line holds none.
        if (field.contains(u'\n') || field.contains(u'\r'))
            continue;
        folding = folding || field.contains(u'k', Qt::CaseInsensitive) ||
                  field.contains(u's', Qt::CaseInsensitive);
        pending.push_back({ByteSearch::CaselessText(field.toLatin1()), seen.size() - 1});
        longest = std::max(longest, field.size());
    }

    file.rewind();
    // Pieces of kDecodeChunk bytes of text, as the decoding reader takes them,
    // plus room for the byte-order mark; a small file takes a small buffer.
    const qsizetype capacity =
        qsizetype(std::min<qint64>(std::max<qint64>(file.stamp().size, 0), kDecodeChunk)) + 4;
    std::unique_ptr<char[]> buffer(new char[size_t(capacity)]);
    const qsizetype request = std::min(capacity, kDecodeChunk);

    enum class Reading { Unknown, Utf8, SingleByte } encoding = Reading::Unknown;
    ByteSearch::Utf8Verdict verdict;
    std::vector<ByteFieldLine> lines;
    QByteArray tail;      // the text's last bytes before this piece, where an occurrence may begin
    QByteArray lastTwo;   // likewise, for the folding letters
    qint64 base = 0;      // where the buffer's first byte stands in the file
    bool settled = false; // nothing more to learn from the bytes

    const auto startLine = [&](qint64 at, qint64 pieceIndex, qsizetype order, QString start) {
        ByteFieldLine& line = lines.emplace_back();
        line.at = at;
        line.foundIn = pieceIndex;
        line.order = order;
        if (encoding != Reading::SingleByte)
            line.asUtf8.emplace(QString(), at, start);
        if (encoding != Reading::Utf8)
            line.asSingleByte.emplace(QString(), at, std::move(start));
        return &line;
    };
    const auto feed = [](ByteFieldLine& line, const char* data, qsizetype from, qsizetype to) {
        const auto [stop, isBreak] = lineStop(data, from, to);
        line.take(data + from, stop - from, isBreak);
        if (stop < to && !isBreak)
            line.ended = true; // after "</": the value is over in every reading
    };

    for (qint64 pieceIndex = 0;; ++pieceIndex) {
        qsizetype got = file.read(buffer.get(), request);
        if (between)
            between();
        bool shortRead = got < request;
        qsizetype from = 0;
        if (pieceIndex == 0 && got >= 3 && uchar(buffer[0]) == 0xEF && uchar(buffer[1]) == 0xBB &&
            uchar(buffer[2]) == 0xBF) {
            encoding = Reading::Utf8;
            from = 3;
            if (got ==
                request) { // the first piece of text runs to kDecodeChunk bytes past the mark
                const qsizetype rest = file.read(buffer.get() + got, 3);
                got += rest;
                shortRead = rest < 3;
                if (between)
                    between();
            }
        }
        if (got == 0)
            break;
        const char* const data = buffer.get();
        const qsizetype to = got;

        if (encoding == Reading::Unknown && !verdict.feed(data + from, to - from)) {
            encoding = Reading::SingleByte;
            for (ByteFieldLine& line : lines)
                line.asUtf8.reset();
        }
        if (folding && encoding == Reading::Utf8 &&
            ByteSearch::holdsFoldingLetter(lastTwo, data + from, to - from))
            return std::nullopt;
        const QByteArrayView text(data + from, to - from);
        lastTwo = text.size() >= 2 ? text.last(2).toByteArray()
                                   : QByteArray(lastTwo).append(text).right(2);

        for (ByteFieldLine& line : lines) {
            if (line.open())
                feed(line, data, from, to);
        }
        if (firstLinePending) {
            qsizetype i = from;
            while (i < to && (data[i] == '\n' || data[i] == '\r'))
                ++i;
            if (i < to) {
                feed(*startLine(base + i, pieceIndex, -1, QString()), data, i, to);
                firstLinePending = false;
            }
        }
        for (auto f = pending.begin(); f != pending.end();) {
            const qsizetype length = f->text.size();
            qint64 at = -1;
            if (!tail.isEmpty()) { // an occurrence that begins in the piece before
                const QByteArray joint = QByteArray(tail).append(
                    QByteArrayView(data + from, std::min<qsizetype>(to - from, length - 1)));
                const qsizetype j = f->text.findIn(joint.constData(), joint.size());
                if (j >= 0)
                    at = base + from - tail.size() + j;
            }
            if (at < 0) {
                const qsizetype j = f->text.findIn(data + from, to - from);
                if (j >= 0)
                    at = base + from + j;
            }
            if (at < 0) {
                ++f;
                continue;
            }
            const qsizetype end = qsizetype(at + length - base); // in this piece
            QString start = QString::fromLatin1(
                at >= base ? QByteArray(data + (at - base), length)
                           : tail.right(base + from - at) + QByteArray(data + from, end - from));
            feed(*startLine(at, pieceIndex, f->order, std::move(start)), data, end, to);
            f = pending.erase(f);
        }
        const qsizetype keep = std::max<qsizetype>(longest - 1, 0);
        tail = text.size() >= keep ? text.last(keep).toByteArray()
                                   : QByteArray(tail).append(text).right(keep);
        base += got;
        // A short read that reaches the size the file had when opened is its
        // end: no read more to learn that (a file that grew since is refused
        // by the copy, whose size no longer matches).
        const bool atEnd = shortRead && base >= file.stamp().size;

        const bool searching = firstLinePending || !pending.empty() ||
                               std::any_of(lines.begin(), lines.end(),
                                           [](const ByteFieldLine& l) { return l.open(); });
        if (searching) {
            if (atEnd)
                break;
            continue;
        }
        if (encoding != Reading::Unknown) {
            settled = true;
            break;
        }
        // ASCII reads alike in every encoding: what was kept is final unless
        // the page's encoding can still change it.
        const bool textDecided = std::none_of(lines.begin(), lines.end(),
                                              [](const ByteFieldLine& l) { return l.highBytes; });
        if (textDecided && !(folding && verdict.sawFoldingLetter())) {
            settled = true;
            break;
        }
        // Only the encoding is left to learn: the rest is checked, not searched.
        while (!atEnd) {
            const qsizetype more = file.read(buffer.get(), request);
            if (between)
                between();
            if (more == 0 || !verdict.feed(buffer.get(), more))
                break;
        }
        break;
    }
    if (encoding == Reading::Unknown && !settled) {
        if (verdict.valid() && folding && verdict.sawFoldingLetter())
            return std::nullopt;
        encoding = verdict.valid() ? Reading::Utf8 : Reading::SingleByte;
    }

    std::vector<std::pair<std::tuple<qint64, qint64, qsizetype>, const FieldLine*>> keyed;
    for (const ByteFieldLine& line : lines) {
        const std::optional<FieldLine>& reading =
            encoding == Reading::Utf8 || !line.asSingleByte ? line.asUtf8 : line.asSingleByte;
        // A first line that decodes to nothing was never there for the decoder.
        if (line.order < 0 && reading->text.isEmpty())
            continue;
        keyed.push_back({{line.at, line.foundIn, line.order}, &*reading});
    }
    return joinedLines(std::move(keyed));
}

} // namespace

namespace detail {

QString FieldLinesDecoded(const QString& path, const QStringList& fields)
{
    FileSystem::SourceFile file = FileSystem::SourceFile::open(path);
    QList<FieldLine> lines;
    readFieldLinesDecoded(file, fields, {}, lines);
    return joinedLines(lines);
}

std::optional<QString> FieldLinesFromBytes(const QString& path, const QStringList& fields)
{
    FileSystem::SourceFile file = FileSystem::SourceFile::open(path);
    return readFieldLinesFromBytes(file, fields, {});
}

} // namespace detail

TextLines ReadFieldLines(FileSystem::Source& source, const QStringList& fields,
                         ErrorReporter& reporter, const FileSystem::BetweenChunks& between)
{
    Trap trap(reporter, QStringLiteral("in Orlesk2021/08/31.Main.ReadFileToStringFSOLine "));
    QString text;
    // One failed open ends the reader: nothing after it can fail on its own.
    trap(10, [&] {
        FileSystem::SourceFile& file = source.file();
        if (std::optional<QString> fromBytes = readFieldLinesFromBytes(file, fields, between)) {
            text = std::move(*fromBytes);
            return;
        }
        QList<FieldLine> lines;
        try {
            readFieldLinesDecoded(file, fields, between, lines);
        } catch (...) {
            text = joinedLines(lines);
            throw;
        }
        text = joinedLines(lines);
    });
    return TextLines(text);
}

} // namespace StreamedText
