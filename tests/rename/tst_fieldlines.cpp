#include "rename/StreamedText.h"
#include "support/Fakes.h"
#include "support/Files.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

// The field reader searches a page's raw bytes and decodes only the lines it
// keeps; the reader that decodes the whole page is the reference. On every
// page below both give the same lines, or the byte reader declines the page
// (and ReadFieldLines then answers with the decoding reader).
namespace {

// The piece the readers decode in: pages cross it to test what spans pieces.
constexpr qsizetype kPiece = 1024 * 1024;
const QByteArray kBom = "\xEF\xBB\xBF";

// `filler` bytes of `fill` (no line break, no field), then `rest`.
QByteArray after(qsizetype filler, const QByteArray& rest, char fill = 'x')
{
    return QByteArray(filler, fill) + rest;
}

// A literal's bytes, NUL bytes too.
template <size_t N> QByteArray bytes(const char (&literal)[N])
{
    return QByteArray(literal, N - 1);
}

const QStringList kAuthorTitle = {QStringLiteral("Author"), QStringLiteral("Title")};
const QStringList kTitle = {QStringLiteral("Title")};
const QStringList kFirstLineAndTitle = {QString(), QStringLiteral("Title")};

} // namespace

class FieldLinesTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void sameLines_data();
    void sameLines();
    void randomPages();
    void unreadableFileReportedOnce();

private:
    // Both readers on `page`; fails unless they agree or the byte reader may decline.
    void compareReaders(const QByteArray& page, const QStringList& fields, bool mayDecline,
                        const char* what);

    QTemporaryDir m_dir;
};

void FieldLinesTest::compareReaders(const QByteArray& page, const QStringList& fields,
                                    bool mayDecline, const char* what)
{
    const QString path = m_dir.filePath(QStringLiteral("page.htm"));
    writeFile(path, page);
    const QString decoded = StreamedText::detail::FieldLinesDecoded(path, fields);
    const std::optional<QString> fromBytes =
        StreamedText::detail::FieldLinesFromBytes(path, fields);
    if (!fromBytes) {
        QVERIFY2(mayDecline, what);
    } else if (*fromBytes != decoded) {
        QFAIL(qPrintable(QStringLiteral("%1: bytes %2, decoded %3")
                             .arg(QLatin1String(what), fromBytes->left(300).toHtmlEscaped(),
                                  decoded.left(300).toHtmlEscaped())));
    }
    RecordingReporter reporter;
    FileSystem::Source source(path);
    const TextLines lines = StreamedText::ReadFieldLines(source, fields, reporter);
    QCOMPARE(reporter.reports.size(), 0);
    QVERIFY2(lines.text() == decoded, what);
}

void FieldLinesTest::sameLines_data()
{
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<bool>("mayDecline");

    const auto row = [](const char* name, const QStringList& fields, const QByteArray& page,
                        bool mayDecline = false) {
        QTest::newRow(name) << fields << page << mayDecline;
    };

    // Lines and their breaks.
    row("LF lines", kAuthorTitle, "<Author>Ann</Author>\n<title>T</title>\n");
    row("CR lines", kAuthorTitle, "Author Ann\rTitle T\r");
    row("CR LF lines", kAuthorTitle, "Author Ann\r\nTitle T\r\n");
    row("last line without break", kAuthorTitle, "x\nAuthor: Ann");
    row("field at the very end", kTitle, "x\r\nTitle");
    row("field at the very start", kTitle, "Title at start\n");
    row("empty page", kAuthorTitle, "");
    row("only breaks", kFirstLineAndTitle, "\r\n\n\r\r");
    row("first line after blank lines", kFirstLineAndTitle, "\n\r\n  <h1>Head</h1>\nTitle x\n");
    row("first line holds the field", kFirstLineAndTitle, "Title first\n");
    row("both fields on one line, later first", kAuthorTitle, "Title t Author a</x>\n");
    row("value to the first </", kTitle, "<title>Big <b>one</b> here</title>\n");
    row("field repeated", QStringList({"Title", "Title", "Author"}), "Title 1\nTitle 2\nAuthor\n");

    // Letter case.
    row("field in capitals", kAuthorTitle, "AUTHOR Bob\nTITLE T\n");
    row("field in mixed case", kTitle, "<tItLe>x</tItLe>\n");
    row("letters next to the field's", kTitle, "Titl Titlf Title@ x\n");
    row("field with a blank", QStringList({"Mod Date"}), "mod date 1\nMOD DATE 2\n");
    row("one field begins another", QStringList({"Title", "Tit"}), "Tit Title x\n");

    // Encodings.
    row("UTF-8 value", kTitle, "<title>Caf\xc3\xa9</title>\n");
    row("Windows-1252 value", kTitle, "<title>Caf\xe9 \x93q\x94</title>\n");
    row("UTF-8 value, invalid byte later", kTitle, "<title>Caf\xc3\xa9</title>\n\xff\n");
    row("byte-order mark", kFirstLineAndTitle, kBom + "<title>Caf\xc3\xa9</title>\n");
    row("byte-order mark twice", kFirstLineAndTitle, kBom + kBom + "x\nTitle \xef\xbb\xbfy\n");
    row("byte-order mark, invalid bytes", kTitle,
        kBom + "\xe2\x84Title a\xc3\nb\xc3</x>\nTitle again\n");
    row("byte-order mark, cut sequence before a break", kFirstLineAndTitle,
        kBom + "\xc3\nTitle \xe2\x82\r\n");
    row("byte-order mark, cut sequence at the end", kFirstLineAndTitle, kBom + "\n\xc3");
    row("byte-order mark, value cut at the end", kTitle, kBom + "Title v\xe2\x82");
    row("page cut in a sequence", kTitle, "Title caf\xc3");
    row("UTF-16 LE with mark", kAuthorTitle, bytes("\xff\xfe<\0t\0i\0t\0l\0e\0>\0T\0\n\0"));
    row("UTF-16 BE with mark", kAuthorTitle, bytes("\xfe\xff\0<\0T\0i\0t\0l\0e\0>\0x\0\n"));
    row("NUL bytes", kAuthorTitle, bytes("\0\0Author\0a\0</\nTitle\0\0\0\n"));
    row("non-ASCII high half", kTitle, "Title \x80\x81\x9f\xa0\xff end\n");

    // The letters that fold to ASCII ones: a UTF-8 page with one is left to
    // the decoding reader where a field holds s or k.
    row("long s in a UTF-8 page", QStringList({"Subject"}), "\xc5\xbfubject x\nSubject y\n", true);
    row("Kelvin sign after a byte-order mark", QStringList({"Keywords"}),
        kBom + "\xe2\x84\xaa"
               "eywords x\n",
        true);
    row("long s, field without s", kTitle, "\xc5\xbf Title t\n");
    row("long s in a Windows-1252 page", QStringList({"Subject"}),
        "\xc5\xbfubject x\xff\nSubject y\n");
    row("field that is not ASCII", QStringList({QStringLiteral("Tit\u00e9")}), "Tit\xc3\xa9 x\n",
        true);
    row("field with a line break", QStringList({"Ti\ntle", "Title"}), "Ti\ntle Title x\n");

    // Values longer than a name can hold.
    row("value longer than a name", kTitle, "<title>" + QByteArray(300, 'v') + "</title>\n");
    row("many blanks in a value", kTitle, "Title " + QByteArray(5000, ' ') + "x</\n");
    row("many lost characters, then </", kTitle,
        "Title " + QByteArray(1500, '?') + "<" + QByteArray(10, ' ') + "</\n");
    row("long UTF-8 value", kTitle,
        "Title " + QByteArray(200, 'a').repeated(1) + "\xc3\xa9" + QByteArray(100, 'b') + "\n");

    // Pieces: fields, values, breaks and sequences across the boundary.
    for (int k = 0; k <= 6; ++k) {
        QTest::addRow("field across the piece end, %d bytes before it", k)
            << kAuthorTitle << after(kPiece - k, "Title spans</title>\nAuthor a\n") << false;
        QTest::addRow("field across the piece end after a mark, %d", k)
            << kAuthorTitle << kBom + after(kPiece - k, "Title spans</title>\n") << false;
    }
    row("</ across the piece end", kTitle, "\n" + after(kPiece - 8, "Title </b after\n") + "x");
    row("</ across the piece end, blanks lost", kTitle,
        "Title " + QByteArray(kPiece - 7, ' ') + "<" + "/ after\n");
    row("CR LF across the piece end", kFirstLineAndTitle, after(kPiece - 1, "\r\nTitle after\r\n"));
    row("value across the piece end", kTitle, after(kPiece - 10, " Title value goes on\n"));
    row("UTF-8 sequence across the piece end", kTitle,
        after(kPiece - 9, " Title \xc3\xa9\xe2\x82\xac z\n"));
    row("UTF-8 sequence across the piece end, invalid later", kTitle,
        after(kPiece - 9, " Title \xc3\xa9\xe2\x82\xac z\n") + after(kPiece, "\xff"));
    row("invalid byte in the second piece only", kAuthorTitle,
        "Title caf\xc3\xa9\n" + after(kPiece, "\x80 Author \xe9\n"));
    row("blank lines before the first line across pieces", kFirstLineAndTitle,
        QByteArray(kPiece + 5, '\n') + "first\nTitle x\n");
    row("first line starts with a sequence across pieces", kFirstLineAndTitle,
        kBom + QByteArray(kPiece - 1, '\n') + "\xc3\xa9 first\n");
    row("blanks across pieces keep the value open", kTitle,
        "Title " + QByteArray(2 * kPiece, ' ') + "late</\n");
    row("field only in the third piece", kAuthorTitle, after(2 * kPiece + 17, "Author x\n"));
    row("one field begins another across pieces", QStringList({"Title", "Tit"}),
        after(kPiece - 3, "Title x\n"));
    row("long s across the piece end", QStringList({"Subject"}),
        after(kPiece - 1, "\xc5\xbfubject x\n"), true);
}

void FieldLinesTest::sameLines()
{
    QFETCH(QStringList, fields);
    QFETCH(QByteArray, page);
    QFETCH(bool, mayDecline);
    compareReaders(page, fields, mayDecline, QTest::currentDataTag());
}

// Short pages made of the pieces that matter to either reader, in any order.
void FieldLinesTest::randomPages()
{
    const QList<QByteArray> parts = {
        "Title",
        "tITLE",
        "Author",
        "author",
        "Titl",
        "<",
        "/",
        "</",
        "\r",
        "\n",
        "\r\n",
        " ",
        "x",
        "\xc3",
        "\xa9",
        "\xc3\xa9",
        "\xe2\x82\xac",
        "\xc5\xbf",
        "\xe2\x84\xaa",
        "\xff",
        QByteArray(1, '\0'),
        "\x93",
        "?",
        ".",
        kBom,
        "Subject",
        "Keywords",
    };
    const QList<QStringList> fieldSets = {
        kAuthorTitle,
        kTitle,
        kFirstLineAndTitle,
        {QStringLiteral("Subject"), QString()},
        {QStringLiteral("Keywords"), QStringLiteral("Title")},
    };
    QRandomGenerator random(20261209);
    for (int round = 0; round < 3000; ++round) {
        QByteArray page = random.bounded(4) == 0 ? kBom : QByteArray();
        const int count = random.bounded(1, 24);
        for (int i = 0; i < count; ++i)
            page += parts.at(random.bounded(int(parts.size())));
        const QStringList& fields = fieldSets.at(random.bounded(int(fieldSets.size())));
        const QByteArray what = "page " + page.toPercentEncoding() + " fields " +
                                fields.join(QLatin1Char(',')).toUtf8();
        // Only pages with a folding letter may be declined.
        const bool folds = page.contains("\xc5\xbf") || page.contains("\xe2\x84\xaa");
        compareReaders(page, fields, folds, what.constData());
        if (QTest::currentTestFailed())
            return;
    }
}

void FieldLinesTest::unreadableFileReportedOnce()
{
    RecordingReporter reporter;
    FileSystem::Source missing(m_dir.filePath("missing.htm"));
    const TextLines lines = StreamedText::ReadFieldLines(missing, kTitle, reporter);
    QVERIFY(lines.isEmpty());
    QCOMPARE(reporter.reports.size(), 1);
}

QTEST_GUILESS_MAIN(FieldLinesTest)
#include "tst_fieldlines.moc"
