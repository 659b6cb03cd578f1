// A page's metadata as a browser reads it: the engine's reading of the title
// and the <meta> elements, and the same through the helper process.

#include "pagetext/engine/PageParser.h"
#include "pagetext/service/HelperPageText.h"
#include "platform/Failure.h"
#include "platform/PageText.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kHelper = QStringLiteral(QUENBY_BIN_DIR "/quenby-pagetext");

PageMetadata read(PageParser& parser, const QByteArray& html)
{
    return PageMetadata::fromLines(QString::fromStdString(
        parser.metadata(std::string_view(html.constData(), size_t(html.size())))));
}

} // namespace

class TestPageMetadata : public QObject
{
    Q_OBJECT

private slots:
    void title_data()
    {
        QTest::addColumn<QByteArray>("html");
        QTest::addColumn<QString>("title");
        QTest::newRow("entities") << QByteArray("<title>Tom &amp; Jerry &#8364;&#x41;&nbsp;x</title>")
                                  << "Tom & Jerry \u20acA\u00a0x";
        QTest::newRow("over several lines") << QByteArray("<title>\n  Annual\r\n\tReport\n</title>")
                                            << "Annual Report";
        QTest::newRow("form feed is white space") << QByteArray("<title>a\fb</title>") << "a b";
        QTest::newRow("markup in a title is text")
            << QByteArray("<title>A <b>B</b></title>") << "A <b>B</b>";
        QTest::newRow("first title only")
            << QByteArray("<title>One</title><title>Two</title>") << "One";
        QTest::newRow("title in the body")
            << QByteArray("<html><body><p>x</p><title>Late</title>") << "Late";
        QTest::newRow("a drawing's title is not the page's")
            << QByteArray("<body><svg><title>Icon</title></svg><title>Real</title>") << "Real";
        QTest::newRow("template content is not the page")
            << QByteArray("<template><title>No</title></template><title>Yes</title>") << "Yes";
        QTest::newRow("empty title") << QByteArray("<title>  </title>") << "";
        QTest::newRow("no title") << QByteArray("<p>Just text</p>") << "";
        QTest::newRow("unclosed title runs to the end")
            << QByteArray("<title>Open <p>text") << "Open <p>text";
    }
    void title()
    {
        QFETCH(QByteArray, html);
        QFETCH(QString, title);
        PageParser parser;
        QCOMPARE(read(parser, html).title, title);
    }

    void meta_data()
    {
        QTest::addColumn<QByteArray>("html");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("content"); // null: the key is absent
        QTest::newRow("name first") << QByteArray("<meta name=\"author\" content=\"Ann Lee\">")
                                    << "author"
                                    << "Ann Lee";
        QTest::newRow("content first") << QByteArray("<meta content='Ann Lee' name=author>")
                                       << "author"
                                       << "Ann Lee";
        QTest::newRow("any case") << QByteArray("<META CONTENT=\"Ann\" NAME=\"Author\">")
                                  << "author"
                                  << "Ann";
        QTest::newRow("entities and white space")
            << QByteArray("<meta name=description content=\" Tom &amp;\n\t Jerry \">")
            << "description"
            << "Tom & Jerry";
        QTest::newRow("property") << QByteArray("<meta property=\"og:title\" content=\"OG\">")
                                  << "og:title"
                                  << "OG";
        QTest::newRow("first of two")
            << QByteArray("<meta name=author content=A><meta name=author content=B>") << "author"
            << "A";
        QTest::newRow("meta in the body")
            << QByteArray("<body><p>x<meta name=keywords content=k1,k2>") << "keywords"
            << "k1,k2";
        QTest::newRow("without content") << QByteArray("<meta name=author>") << "author"
                                         << QString();
        QTest::newRow("empty content") << QByteArray("<meta name=author content=\"\">")
                                       << "author"
                                       << "";
        QTest::newRow("tab and line break in a name")
            << QByteArray("<meta name=\"dc.\tdate\n\" content=x>") << "dc. date"
            << "x";
        QTest::newRow("no metadata at all") << QByteArray("<p>Nothing</p>") << "author"
                                            << QString();
    }
    void meta()
    {
        QFETCH(QByteArray, html);
        QFETCH(QString, key);
        QFETCH(QString, content);
        PageParser parser;
        const PageMetadata m = read(parser, html);
        QCOMPARE(m.has(key), !content.isNull());
        QCOMPARE(m.content(key), content.isNull() ? QString() : content);
    }

    // The same reading through the helper process, with the page's encoding.
    void throughTheHelper()
    {
        QTemporaryDir dir;
        const QString page = dir.filePath(QStringLiteral("p.htm"));
        QFile file(page);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("<html><head><meta charset=windows-1252><title>\x8cuvre\ncompl\xe8te</title>"
                   "<meta content=\"\x80 5\" name=Author></head><body>x</body></html>");
        file.close();
        HelperPageText pages(kHelper, 1);
        pages.navigateMetadata(page);
        while (pages.readyState() != 4) {
        }
        const PageMetadata m = pages.metadata();
        QCOMPARE(m.title, QStringLiteral("\u0152uvre compl\u00e8te"));
        QCOMPARE(m.content(u"author"), QStringLiteral("\u20ac 5"));

        pages.navigateMetadata(dir.filePath(QStringLiteral("missing.htm")));
        while (pages.readyState() != 4) {
        }
        QVERIFY_THROWS_EXCEPTION(Failure, pages.metadata());
    }
};

QTEST_GUILESS_MAIN(TestPageMetadata)
#include "tst_pagemetadata.moc"
