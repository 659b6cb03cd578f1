// The page-text service as the rename run uses it: encodings of local pages,
// pages read ahead of time, pages that change on disk, and pages that break or
// overload the parser (the test process must survive them all and read the
// next page normally).

#include "pagetext/service/HelperPageText.h"
#include "platform/Failure.h"
#include "platform/FileSystem.h"
#include "support/Files.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <optional>
#include <unistd.h>

namespace {

const QString kHelper = QStringLiteral(QUENBY_BIN_DIR "/quenby-pagetext");

QString dataFile(const char* name)
{
    return QStringLiteral(QUENBY_TEST_DATA "/") + QLatin1String(name);
}

struct Read
{
    std::optional<QString> text;
    QString failure;
    int polls = 0;
};

// Navigates and polls the way the rename run does (letting events run between
// polls, at most 100000 polls), then takes the body text.
Read readPage(PageText& pages, const QString& path,
              const std::shared_ptr<FileSystem::Source>& held = nullptr)
{
    if (held)
        pages.navigateOpened(held);
    else
        pages.navigate(path);
    int polls = 0;
    while (pages.readyState() != PageText::kComplete && polls < 100000) {
        QCoreApplication::processEvents();
        ++polls;
    }
    try {
        return {pages.bodyText(), {}, polls};
    } catch (const Failure& failure) {
        return {std::nullopt, failure.description(), polls};
    }
}

// The first `n` words of a text as the content namer takes them: LF removed,
// CR turned into a blank, trimmed, split at every single blank.
QStringList firstWords(QString text, int n)
{
    text.remove(QChar(u'\n'));
    text.replace(QChar(u'\r'), QChar(u' '));
    while (text.startsWith(u' '))
        text.remove(0, 1);
    while (text.endsWith(u' '))
        text.chop(1);
    return text.split(QChar(u' ')).mid(0, n);
}

QByteArray paragraphs(int count, const char* word)
{
    QByteArray html = "<html><body>";
    for (int i = 0; i < count; ++i)
        html += "<p>" + QByteArray(word) + QByteArray::number(i) +
                " lorem ipsum dolor sit amet, "
                "consectetur adipiscing elit, sed do eiusmod tempor.</p>\n";
    return html + "</body></html>";
}

} // namespace

class TestPageText : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_pages = std::make_unique<HelperPageText>(kHelper);
        writeFile(m_dir.filePath(QStringLiteral("normal.html")),
                  "<!DOCTYPE html><title>t</title><p>normal page</p><p>second");
    }

    void encodings_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("expected");
        QTest::newRow("UTF-8 byte-order mark") << "bom-utf8.html" << u"Straße und Grüße"_qs;
        QTest::newRow("UTF-16LE byte-order mark") << "bom-utf16le.html" << u"Été à la plage"_qs;
        QTest::newRow("meta charset utf-8") << "meta-utf8.html" << u"Слово na češtině"_qs;
        QTest::newRow("meta http-equiv windows-1252")
            << "http-equiv-1252.html" << u"“Café” – 10€"_qs;
        QTest::newRow("Shift_JIS declared") << "sjis-declared.html" << u"日本語のページです。"_qs;
        QTest::newRow("undeclared UTF-8") << "undeclared-utf8.html" << u"Naïve café — 日本"_qs;
        QTest::newRow("undeclared windows-1252, French")
            << "undeclared-1252-french.html"
            << u"Le château de la forêt était très âgé.\r\n\r\nÀ côté, un garçon régla la note de "
               u"l’hôtel.\r\n\r\nVoilà qu’il dîne à Noël."_qs;
        QTest::newRow("undeclared KOI8-R")
            << "undeclared-koi8r.html"
            << u"Съешь же ещё этих мягких французских булок, да выпей чаю. Широкая "
               u"электрификация южных губерний даст мощный толчок подъёму сельского хозяйства."_qs;
        QTest::newRow("undeclared EUC-JP")
            << "undeclared-eucjp.html"
            << u"吾輩は猫である。名前はまだ無い。どこで生れたかとんと見当がつかぬ。何でも薄暗いじめ"
               u"じ"
               u"めした所でニャーニャー泣いていた事だけは記憶している。"_qs;
        // Detected as a browser does: read as Windows-1252 it would be mojibake.
        QTest::newRow("undeclared EUC-KR")
            << "undeclared-euckr.html"
            << u"안녕하세요. 오늘은 날씨가 정말 좋습니다.\r\n\r\n한국어로 쓴 이 페이지에는 인코딩 "
               u"선언이 없습니다."_qs;
        QTest::newRow("a UTF-16 label means UTF-8") << "meta-utf16-means-utf8.html" << u"über"_qs;
        QTest::newRow("unknown label falls through") << "meta-unknown-label.html" << u"grüß"_qs;
        QTest::newRow("meta in a comment is skipped") << "meta-after-comment.html" << u"ą"_qs;
        QTest::newRow("short Western page stays Western")
            << "short-western.html" << u"Café crème"_qs;
    }

    void encodings()
    {
        QFETCH(QString, file);
        QFETCH(QString, expected);
        const Read read = readPage(*m_pages, dataFile(qPrintable(file)));
        QVERIFY2(read.text, qPrintable(read.failure));
        QCOMPARE(*read.text, expected);
    }

    void encodingDeclarations_data()
    {
        QTest::addColumn<QByteArray>("html");
        QTest::addColumn<QString>("expected");
        const QByteArray greek = "\xc5\xeb\xeb\xe7\xed\xe9\xea\xdc";
        const QByteArray russian = "\xf0\xd2\xc9\xd7\xc5\xd4";
        QTest::newRow("http-equiv with single-quoted charset")
            << "<meta http-equiv=Content-Type content=\"text/html;charset='koi8-r'\"><p>" + russian
            << u"Привет"_qs;
        QTest::newRow("content before http-equiv")
            << "<meta content='text/html; charset=iso-8859-7' http-equiv='CONTENT-TYPE'><p>" + greek
            << u"Ελληνικά"_qs;
        QTest::newRow("content without http-equiv is no declaration")
            << QByteArray("<meta content='text/html; charset=iso-8859-7'><p>caf\xe9") << u"café"_qs;
        QTest::newRow("label trimmed and in any case")
            << QByteArray("<meta charset='  LATIN1 '><p>\x93x\x94") << u"“x”"_qs;
        QTest::newRow("x-user-defined means windows-1252")
            << QByteArray("<meta charset=x-user-defined><p>\x80") << u"€"_qs;
        QTest::newRow("a declaration inside an attribute value is no declaration")
            << "<div title='<meta charset=iso-8859-7>'></div><meta charset=koi8-r><p>" + russian
            << u"Привет"_qs;
        QTest::newRow("a comment closed by <!--> ends there")
            << "<!--><meta charset=iso-8859-7><p>" + greek << u"Ελληνικά"_qs;
        QTest::newRow("a declaration after the first 1024 bytes is not seen")
            << "<!--" + QByteArray(1100, 'x') + "--><meta charset=iso-8859-7><p>\xe9t\xe9"
            << u"été"_qs;
        QTest::newRow("gb2312 label decodes as GBK")
            << QByteArray("<meta charset=gb2312><p>\xd6\xd0\xce\xc4") << u"中文"_qs;
        QTest::newRow("euc-kr") << QByteArray("<meta charset=euc-kr><p>\xc7\xd1\xb1\xb9\xbe\xee")
                                << u"한국어"_qs;
        QTest::newRow("big5") << QByteArray("<meta charset=big5><p>\xa4\xa4\xa4\xe5") << u"中文"_qs;
        QTest::newRow("UTF-16BE byte-order mark")
            << QByteArray::fromHex("feff003c0070003e00dc006200650072") << u"Über"_qs;
        QTest::newRow("UTF-8 with a stray byte is not UTF-8")
            << QByteArray("<p>caf\xc3\xa9 na\xefve") << u"cafÃ© naïve"_qs;
    }

    void encodingDeclarations()
    {
        QFETCH(QByteArray, html);
        QFETCH(QString, expected);
        const QString path = m_dir.filePath(QStringLiteral("declared.html"));
        writeFile(path, html);
        const Read read = readPage(*m_pages, path);
        QVERIFY2(read.text, qPrintable(read.failure));
        QCOMPARE(*read.text, expected);
    }

    void textRules_data()
    {
        QTest::addColumn<QByteArray>("html");
        QTest::addColumn<QString>("expected");
        QTest::newRow("head, script and style hidden")
            << QByteArray("<title>T</title><style>p{}</style><p>a<script>x()</script>b")
            << u"ab"_qs;
        // Taken out of the flow, a box becomes a block, even one without text.
        QTest::newRow("absolute image inside running text")
            << QByteArray("<p>text <a><img style=\"position: absolute\"></a> more</p>")
            << u"text \r\nmore"_qs;
        QTest::newRow("absolute span inside running text")
            << QByteArray("<p>one <span style='position:absolute'>two</span> three</p>")
            << u"one \r\ntwo\r\nthree"_qs;
        QTest::newRow("floated empty span")
            << QByteArray("<p>a<span style='float:left'></span>b</p>") << u"a\r\nb"_qs;
        QTest::newRow("paragraphs give two line breaks")
            << QByteArray("<p>one</p><p>two</p>") << u"one\r\n\r\ntwo"_qs;
        QTest::newRow("page style hides by class")
            << QByteArray("<style>.ad, #x > b { display: none }</style><p>keep <span "
                          "class='ad'>drop</span><i id=x><b>gone</b></i>this")
            << u"keep this"_qs;
        QTest::newRow("page style later rule and specificity")
            << QByteArray("<style>div span{display:block} span{display:inline}</style><div>a<span>b"
                          "</span>c</div>")
            << u"a\r\nb\r\nc"_qs;
        QTest::newRow("page style in a print media block ignored")
            << QByteArray("<style>@media print { p { display:none } }</style><p>shown")
            << u"shown"_qs;
        QTest::newRow("page style white-space pre")
            << QByteArray("<style>[data-code]{white-space:pre}</style><div data-code>a  b</div>")
            << u"a  b"_qs;
        QTest::newRow("closed details shows its summary only")
            << QByteArray("<details><summary>More</summary>hidden text</details>") << u"More"_qs;
        QTest::newRow("dialog without open is hidden")
            << QByteArray("x<dialog>no</dialog><dialog open>yes</dialog>") << u"x\r\nyes"_qs;
        QTest::newRow("noscript content is not shown")
            << QByteArray("a<noscript><p>enable scripts</p></noscript>b") << u"ab"_qs;
        QTest::newRow("SVG text elements on lines of their own")
            << QByteArray("<svg><text>one</text><text>two</text><title>t</title></svg>")
            << u"one\r\ntwo"_qs;
        QTest::newRow("page style: attribute operators")
            << QByteArray(
                   "<style>[lang|=en]{display:none} [href^='http:']{display:none} "
                   "[data-x$=end]{display:none} [title*=mid]{display:none}"
                   "[class~=b]{display:none}</style>1<i lang=en-GB>x</i>2<a href='http://a'>x"
                   "</a>3<i data-x=theend>x</i>4<i title=amidst>x</i>5<i class='a b'>x</i>6")
            << u"123456"_qs;
        QTest::newRow("page style: child combinator needs a parent")
            << QByteArray(
                   "<style>div > b { display: none }</style><div><b>x</b><i><b>kept</b></i></div>")
            << u"kept"_qs;
        QTest::newRow("page style: id beats class beats type")
            << QByteArray("<style>#a{display:inline} .c{display:none} b{display:block}</style>"
                          "<p>x<b id=a class=c>1</b><b class=c>2</b>y")
            << u"x1y"_qs;
        QTest::newRow("page style: important beats inline style")
            << QByteArray(
                   "<style>b { display: none !important }</style>x<b style='display:inline'>1</b>y")
            << u"xy"_qs;
        QTest::newRow("inline style beats page style")
            << QByteArray("<style>b { display: none }</style>x<b style='display:inline'>1</b>y")
            << u"x1y"_qs;
        QTest::newRow("page style: comments, screen media, pseudo-classes left out")
            << QByteArray("<style>/* b{display:none} */ @media screen { i { display:none } } "
                          "a:hover { display:none } u::before { display:none }</style>"
                          "<b>1</b><i>2</i><a>3</a><u>4</u>")
            << u"134"_qs;
        QTest::newRow("author display shows a hidden element")
            << QByteArray("<style>[hidden]{display:block}</style>a<div hidden>b</div>")
            << u"a\r\nb"_qs;
        QTest::newRow("visibility hidden keeps visible descendants")
            << QByteArray(
                   "<div style='visibility:hidden'>no <b style='visibility:visible'>yes</b></div>")
            << u"yes"_qs;
        QTest::newRow("table cells and rows")
            << QByteArray("<table><tr><th>a<th>b<tr><td>c<td>d</table>") << u"a\tb\r\nc\td"_qs;
        QTest::newRow("line breaks and preformatted text")
            << QByteArray("one<br>two<pre>  three\n four</pre>")
            << u"one\r\ntwo\r\n  three\r\n four"_qs;
        QTest::newRow("text under markup nested too deep to parse is kept")
            << QByteArray("<span>").repeated(2000) + "a" + QByteArray("</span>").repeated(2000) +
                   "b"
            << u"ab"_qs;
        QTest::newRow("head style, html language and noscript in the head")
            << QByteArray(
                   "<!DOCTYPE html><html lang=tr><head><title>t</title><style>.x{display:none}"
                   "</style><noscript><link rel=stylesheet href=a.css><style>p{display:none}"
                   "</style></noscript><script>var a = '<body>';</script></head><body><p>a<span "
                   "class=x>b</span><span style='text-transform:uppercase'>i</span>")
            << u"aİ"_qs;
        QTest::newRow("no-quirks page: a table closes the paragraph")
            << QByteArray(
                   "<!DOCTYPE html><head><title>t</title></head><body><p>a<table><tr><td>b</table>")
            << u"a\r\n\r\nb"_qs;
        QTest::newRow("quirks page: a table stays in the paragraph")
            << QByteArray("<head><title>t</title></head><body><p>a<table><tr><td>b</table>")
            << u"a\r\nb"_qs;
        QTest::newRow("text in the head starts the body")
            << QByteArray("<head><title>t</title>early</head><body>late") << u"earlylate"_qs;
        QTest::newRow("text-transform from inline style")
            << QByteArray("<p style='text-transform: capitalize'>hello world") << u"Hello World"_qs;
    }

    void textRules()
    {
        QFETCH(QByteArray, html);
        QFETCH(QString, expected);
        const QString path = m_dir.filePath(QStringLiteral("rules.html"));
        writeFile(path, html);
        const Read read = readPage(*m_pages, path);
        QVERIFY2(read.text, qPrintable(read.failure));
        QCOMPARE(*read.text, expected);
    }

    void failures_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("description");
        QTest::newRow("missing file")
            << m_dir.filePath(QStringLiteral("none.html")) << u"No such file or directory"_qs;
        QTest::newRow("folder") << m_dir.path() << u"Is a directory"_qs;
        QTest::newRow("no body element")
            << m_dir.filePath(QStringLiteral("frames.html")) << u"The page has no body element."_qs;
    }

    void failures()
    {
        QFETCH(QString, path);
        QFETCH(QString, description);
        writeFile(m_dir.filePath(QStringLiteral("frames.html")),
                  "<html><frameset><frame src=a.html></frameset></html>");
        const Read read = readPage(*m_pages, path);
        QVERIFY(!read.text);
        QCOMPARE(read.failure, description);
        const Read next = readPage(*m_pages, m_dir.filePath(QStringLiteral("normal.html")));
        QCOMPARE(next.text.value_or(next.failure), u"normal page\r\n\r\nsecond"_qs);
    }

    void missingHelper()
    {
        HelperPageText pages(m_dir.filePath(QStringLiteral("no-such-helper")));
        const Read read = readPage(pages, m_dir.filePath(QStringLiteral("normal.html")));
        QVERIFY(!read.text);
        QVERIFY2(read.failure.contains(u"could not be started"), qPrintable(read.failure));
    }

    void abusivePages_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("wordsWanted");
        for (const int words : {0, 8}) {
            const QByteArray suffix = words ? " (8 words read ahead)" : "";
            QTest::newRow("parser abort" + suffix) << u"abort"_qs << words;
            QTest::newRow("100000 nested elements" + suffix) << u"nested"_qs << words;
            QTest::newRow("200 MB page" + suffix) << u"huge"_qs << words;
            QTest::newRow("random bytes" + suffix) << u"random"_qs << words;
        }
        // The parser checks each attribute against all before it: hours for this page.
        QTest::newRow("100000 attributes, past the time limit") << u"slow"_qs << 0;
    }

    void abusivePages()
    {
        QFETCH(QString, kind);
        QFETCH(int, wordsWanted);
        QString path;
        if (kind == u"abort") {
            path = dataFile("parser-abort.html");
        } else if (kind == u"nested") {
            path = m_dir.filePath(QStringLiteral("nested.html"));
            writeFile(path, QByteArray("<div>").repeated(100000) + "deep text" +
                                QByteArray("</div>").repeated(100000));
        } else if (kind == u"huge") {
            path = m_dir.filePath(QStringLiteral("huge.html"));
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            const QByteArray chunk = paragraphs(10000, "w").mid(12).chopped(14);
            file.write("<html><body>");
            while (file.size() < 200ll * 1000 * 1000)
                QVERIFY(file.write(chunk) == chunk.size());
        } else if (kind == u"slow") {
            path = m_dir.filePath(QStringLiteral("slow.html"));
            // On a table, which the fast reading leaves to the parser.
            QByteArray html = "<table";
            for (int i = 0; i < 100000; ++i)
                html += " a" + QByteArray::number(i);
            writeFile(path, html + ">text");
        } else {
            path = m_dir.filePath(QStringLiteral("random.html"));
            QByteArray bytes(1 << 20, Qt::Uninitialized);
            QRandomGenerator random(20261208);
            random.fillRange(reinterpret_cast<quint32*>(bytes.data()), bytes.size() / 4);
            writeFile(path, bytes);
        }

        const QString normal = m_dir.filePath(QStringLiteral("normal.html"));
        m_pages->prefetch({path, normal}, wordsWanted);
        const Read read = readPage(*m_pages, path);
        if (kind == u"abort") {
            QVERIFY(!read.text);
            QVERIFY2(read.failure.contains(u"stopped unexpectedly"), qPrintable(read.failure));
        } else if (kind == u"nested") {
            QCOMPARE(read.text.value_or(read.failure), u"deep text"_qs);
        } else if (kind == u"huge") {
            // Read in part; read whole, it may fail by the reader's time or memory limit,
            // but only with that reason.
            if (read.text)
                QCOMPARE(firstWords(*read.text, 3), QStringList({"w0", "lorem", "ipsum"}));
            else
                QVERIFY2(read.failure.contains(u"longer than") ||
                                 read.failure.contains(u"more memory than"),
                         qPrintable(read.failure));
        } else if (kind == u"slow") {
            QVERIFY(!read.text);
            QCOMPARE(read.failure, u"Reading the page took longer than 5 seconds."_qs);
        } else {
            QVERIFY(read.text || !read.failure.isEmpty());
        }
        QVERIFY(read.polls < 100000); // the run's wait never runs out before the page is settled
        if (kind == u"huge")
            QFile::remove(path);

        const Read next = readPage(*m_pages, normal);
        QCOMPARE(next.text.value_or(next.failure), u"normal page\r\n\r\nsecond"_qs);
    }

    void prefixGivesSameWords_data()
    {
        QTest::addColumn<QByteArray>("html");
        QTest::addColumn<bool>("shorter");
        const QByteArray many = paragraphs(3000, "p");
        QTest::newRow("long page") << many << true;
        QByteArray styled = many;
        styled.replace("</body>", "<style>p { display: none } p + p, .x { display: block }</style>"
                                  "<div>style came last</div></body>");
        QTest::newRow("style sheet at the end") << styled << false;
        QByteArray table = "<html><body><table><tr><td>" + many.mid(12).chopped(14) +
                           "</td></tr> moved before the table <tr><td>x</td></tr></table>";
        QTest::newRow("text moved before an open table") << table << false;
        QByteArray bodyAttribute = many;
        bodyAttribute.replace("</body>", "<body hidden></body>");
        QTest::newRow("body attributes at the end") << bodyAttribute << false;
        QTest::newRow("few words on a long page")
            << QByteArray("<p>only three words</p>" + QByteArray("<br>").repeated(40000)) << false;
    }

    void prefixGivesSameWords()
    {
        QFETCH(QByteArray, html);
        QFETCH(bool, shorter);
        const QString path = m_dir.filePath(QStringLiteral("prefix.html"));
        writeFile(path, html);
        const Read whole = readPage(*m_pages, path);
        QVERIFY2(whole.text, qPrintable(whole.failure));
        m_pages->prefetch({path}, 8);
        const Read prefix = readPage(*m_pages, path);
        QVERIFY2(prefix.text, qPrintable(prefix.failure));
        QCOMPARE(firstWords(*prefix.text, 8), firstWords(*whole.text, 8));
        if (shorter)
            QVERIFY(prefix.text->size() < whole.text->size() / 4);
    }

    void prefetchedPagesInListOrder()
    {
        QStringList paths;
        for (int i = 0; i < 30; ++i) {
            paths << m_dir.filePath(QStringLiteral("list%1.html").arg(i));
            writeFile(paths.last(), "<p>page " + QByteArray::number(i));
        }
        m_pages->prefetch(paths, 2);
        // Entries passed over, and one asked for again, still get their own text.
        for (const int i : {0, 1, 2, 5, 6, 6, 29, 3}) {
            const Read read = readPage(*m_pages, paths[i]);
            QCOMPARE(read.text.value_or(read.failure), QStringLiteral("page %1").arg(i));
        }
    }

    // A page read ahead is only handed out as the text of the file the run
    // holds: by its path when the run holds nothing, else by what the run opened.
    void pageChangedAfterReadAhead_data()
    {
        QTest::addColumn<QString>("held"); // when the run opens the file, if it does
        QTest::addColumn<bool>("replaced"); // the new text comes as a new file, not rewritten
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("failure");
        QTest::newRow("not held") << "never" << false << "new text!" << "";
        QTest::newRow("held after the rewrite") << "after" << false << "new text!" << "";
        QTest::newRow("held before a replacement") << "before" << true << "old text" << "";
        QTest::newRow("held, replaced before read ahead")
            << "before read ahead" << true << ""
            << "The file changed while it was being read";
        // The run takes the file the service opened to read ahead: one open,
        // and what it names and copies is what was read.
        QTest::newRow("taken from the read-ahead, replaced") << "taken" << true << "old text"
                                                             << "";
        // Not read ahead: the file the run holds goes to the helper itself. (The
        // path is a link, turned to another file: the held one keeps even its
        // change time.)
        QTest::newRow("held, link turned, not read ahead") << "not read ahead" << true
                                                           << "old text" << "";
    }

    void pageChangedAfterReadAhead()
    {
        QFETCH(QString, held);
        QFETCH(bool, replaced);
        QFETCH(QString, expected);
        QFETCH(QString, failure);
        const QString first = m_dir.filePath(QStringLiteral("first.html"));
        const QString changed = m_dir.filePath(QStringLiteral("changed.html"));
        const QString fresh = m_dir.filePath(QStringLiteral("fresh.html"));
        const bool link = held == u"not read ahead";
        const QString real = m_dir.filePath(QStringLiteral("real.html"));
        writeFile(first, "<p>first");
        QFile::remove(changed);
        writeFile(link ? real : changed, "<p>old text");
        if (link)
            QVERIFY(QFile::link(real, changed));
        std::shared_ptr<FileSystem::Source> source;
        const auto change = [&] {
            if (!replaced)
                return writeFile(changed, "<p>new text!");
            writeFile(fresh, "<p>new text!");
            const QString turned = m_dir.filePath(QStringLiteral("turned.html"));
            if (link)
                QVERIFY(QFile::link(fresh, turned));
            QVERIFY(::rename(QFile::encodeName(link ? turned : fresh),
                             QFile::encodeName(changed)) == 0);
        };
        if (held == u"before read ahead") {
            source = std::make_shared<FileSystem::Source>(changed);
            QVERIFY(source->tryFile());
            change();
        }
        QStringList ahead{first, changed};
        if (held == u"not read ahead")
            ahead.removeLast();
        m_pages->prefetch(ahead, 0);
        QCOMPARE(readPage(*m_pages, first).text.value_or(QString()), u"first"_qs);
        QTest::qWait(300); // lets the second page be read ahead
        if (held == u"before" || held == u"not read ahead") {
            source = std::make_shared<FileSystem::Source>(changed);
            QVERIFY(source->tryFile());
        }
        if (held == u"taken") {
            source = m_pages->openedAhead(changed);
            QVERIFY(source && source->isOpen());
            QCOMPARE(source->file().stamp().size, qint64(strlen("<p>old text")));
        }
        if (held != u"before read ahead")
            change();
        if (held == u"after") {
            source = std::make_shared<FileSystem::Source>(changed);
            QVERIFY(source->tryFile());
        }
        const Read read = readPage(*m_pages, changed, source);
        QCOMPARE(read.text.value_or(QString()), expected);
        QCOMPARE(read.failure, failure);
    }

    // Pages read ahead are held open for the run; once it is over, none is, so
    // that nothing keeps a stick busy.
    void filesLetGoAfterTheRun()
    {
        QStringList paths;
        for (int i = 0; i < 30; ++i) {
            paths << m_dir.filePath(QStringLiteral("held%1.html").arg(i));
            writeFile(paths.last(), "<p>page " + QByteArray::number(i));
        }
        const auto held = [&] {
            int count = 0;
            const QStringList fds = QDir(QStringLiteral("/proc/self/fd"))
                                        .entryList(QDir::AllEntries | QDir::System |
                                                   QDir::NoDotAndDotDot);
            for (const QString& fd : fds) {
                char target[4096];
                const QByteArray link = "/proc/self/fd/" + fd.toLatin1();
                const ssize_t size = ::readlink(link.constData(), target, sizeof target);
                if (size > 0)
                    count += paths.contains(QFile::decodeName(QByteArray(target, size)));
            }
            return count;
        };
        m_pages->prefetch(paths, 2);
        QCOMPARE(readPage(*m_pages, paths[0]).text.value_or(QString()), u"page 0"_qs);
        QTRY_VERIFY(held() > 1);
        m_pages->releaseFiles();
        QTRY_COMPARE(held(), 0);
    }

    // Pages go to a helper several at a time and their answers come back
    // together: a page that stops the helper must fail alone, neither taking
    // the answers of the pages before it along nor the pages after it.
    void crashInAGroupFailsOnlyItsPage_data()
    {
        QTest::addColumn<int>("crashAt");
        QTest::addColumn<int>("words");
        QTest::newRow("first") << 0 << 2;
        QTest::newRow("middle") << 5 << 2;
        QTest::newRow("last") << 11 << 2;
        QTest::newRow("middle, whole texts") << 5 << 0;
    }

    void crashInAGroupFailsOnlyItsPage()
    {
        QFETCH(int, crashAt);
        QFETCH(int, words);
        HelperPageText pages(kHelper, 1);
        QStringList paths;
        for (int i = 0; i < 12; ++i) {
            if (i == crashAt) {
                paths << dataFile("parser-abort.html");
                continue;
            }
            paths << m_dir.filePath(QStringLiteral("group%1.html").arg(i));
            writeFile(paths.last(), "<p>page " + QByteArray::number(i));
        }
        pages.prefetch(paths, words);
        QTest::qWait(200); // lets the whole group reach the helper before the first read
        for (int i = 0; i < paths.size(); ++i) {
            const Read read = readPage(pages, paths[i]);
            if (i == crashAt)
                QVERIFY(!read.text);
            else
                QCOMPARE(read.text.value_or(read.failure), QStringLiteral("page %1").arg(i));
        }
        // A fresh helper only for the pages after the crash: the page that
        // crashed its reader is not read again.
        QCOMPARE(pages.helpersStarted(), crashAt == paths.size() - 1 ? 1 : 2);
    }

    void helperReplacedAfterCrash()
    {
        HelperPageText pages(kHelper, 1);
        QVERIFY(!readPage(pages, dataFile("parser-abort.html")).text);
        QVERIFY(!readPage(pages, dataFile("parser-abort.html")).text);
        QCOMPARE(
            readPage(pages, m_dir.filePath(QStringLiteral("normal.html"))).text.value_or(QString()),
            u"normal page\r\n\r\nsecond"_qs);
        QCOMPARE(pages.helpersStarted(), 3);
    }

private:
    QTemporaryDir m_dir;
    std::unique_ptr<HelperPageText> m_pages;
};

QTEST_GUILESS_MAIN(TestPageText)
#include "tst_pagetext.moc"
