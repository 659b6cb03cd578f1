// The page-text engine at its own interface, without the helper process: where
// the markup scanners end a tag, the nesting guard, the head cut, the encoding
// checks, the prefix shortcut of the parser and the fast reading against it.

#include "pagetext/engine/FastText.h"
#include "pagetext/engine/MarkupScan.h"
#include "pagetext/engine/NestingGuard.h"
#include "pagetext/engine/PageEncoding.h"
#include "pagetext/engine/PageHead.h"
#include "pagetext/engine/PageParser.h"
#include "platform/Utf8.h"

#include <QTest>

using MarkupScan::Tag;

namespace {

std::string bytes(const QByteArray& b)
{
    return std::string(b.constData(), size_t(b.size()));
}

// A whole page as given, else the markup as the body of a plain page.
std::string page(const QByteArray& markup)
{
    if (markup.startsWith("<!") || markup.startsWith("<html") || markup.startsWith("<head") ||
        markup.startsWith(' '))
        return bytes(markup);
    return "<!DOCTYPE html><html><head><title>t</title></head><body>" + bytes(markup);
}

} // namespace

class TestEngine : public QObject
{
    Q_OBJECT

private slots:
    // Where the markup at the start of a text ends, as the parser reads it:
    // -1 when the parser reads text there, the text's size when it never ends.
    void tagEnds_data()
    {
        QTest::addColumn<QByteArray>("markup");
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("end");
        QTest::addColumn<QByteArray>("name");

        QTest::newRow("plain") << QByteArray("<p>x") << int(Tag::Start) << 3 << QByteArray("p");
        QTest::newRow("quoted '>' after a blank")
            << QByteArray("<a title = \"x>y\">z") << int(Tag::Start) << 17 << QByteArray("a");
        QTest::newRow("single quotes")
            << QByteArray("<a b='>'>") << int(Tag::Start) << 9 << QByteArray("a");
        QTest::newRow("quote inside an unquoted value")
            << QByteArray("<a b=x\"y>z\">") << int(Tag::Start) << 9 << QByteArray("a");
        QTest::newRow("slash then attribute")
            << QByteArray("<a/b=\"x>y\">") << int(Tag::Start) << 11 << QByteArray("a");
        QTest::newRow("end tag with attributes")
            << QByteArray("</div class=\"a>b\">") << int(Tag::End) << 18 << QByteArray("div");
        QTest::newRow("unterminated quote runs to the end")
            << QByteArray("<a b=\"x>") << int(Tag::Start) << 8 << QByteArray("a");
        QTest::newRow("comment") << QByteArray("<!-- a > b -->c") << int(Tag::Comment) << 14
                                 << QByteArray();
        QTest::newRow("empty comment")
            << QByteArray("<!-->x") << int(Tag::Comment) << 5 << QByteArray();
        QTest::newRow("comment of one dash")
            << QByteArray("<!--->x") << int(Tag::Comment) << 6 << QByteArray();
        QTest::newRow("comment ended by --!>")
            << QByteArray("<!-- a --!> b -->") << int(Tag::Comment) << 11 << QByteArray();
        QTest::newRow("doctype") << QByteArray("<!DOCTYPE html>x") << int(Tag::Other) << 15
                                 << QByteArray();
        QTest::newRow("bogus end tag swallows markup")
            << QByteArray("</ <b>x") << int(Tag::Other) << 6 << QByteArray();
        QTest::newRow("</> is nothing")
            << QByteArray("</>x") << int(Tag::Other) << 3 << QByteArray();
        QTest::newRow("less-than then blank is text")
            << QByteArray("< p>") << -1 << -1 << QByteArray();
        QTest::newRow("less-than then digit is text")
            << QByteArray("<3>") << -1 << -1 << QByteArray();
    }

    void tagEnds()
    {
        QFETCH(QByteArray, markup);
        QFETCH(int, kind);
        QFETCH(int, end);
        QFETCH(QByteArray, name);
        const std::string text = bytes(markup);
        const Tag tag = MarkupScan::tagAt(text, 0);
        if (kind < 0) {
            QCOMPARE(tag.begin, MarkupScan::npos);
            return;
        }
        QCOMPARE(int(tag.kind), kind);
        QCOMPARE(int(tag.end), end);
        QCOMPARE(QByteArray::fromStdString(std::string(tag.name)), name);
    }

    // Beyond the depth cap, start tags and their end tags go and text stays.
    void nestingGuard_data()
    {
        QTest::addColumn<QByteArray>("html");
        QTest::addColumn<int>("maxDepth");
        QTest::addColumn<QByteArray>("expected"); // empty: unchanged

        QTest::newRow("shallow") << QByteArray("<div><span>a</span></div>") << 2 << QByteArray();
        QTest::newRow("one too deep") << QByteArray("<div><div><b>a</b></div></div>") << 2
                                      << QByteArray("<div><div>a</div></div>");
        QTest::newRow("quoted '>' in a dropped tag")
            << QByteArray("<i><i title = \"x>y\">a</i></i>") << 1 << QByteArray("<i>a</i>");
        QTest::newRow("void and optional-end elements are not counted")
            << QByteArray("<div><p><br><li>a</div>") << 1 << QByteArray();
        QTest::newRow("tags in a script are text")
            << QByteArray("<div><script>'<b><b><b>'</script></div>") << 1 << QByteArray();
        QTest::newRow("tags in a comment are text") << QByteArray("<div><!-- <b> --><b>a</b></div>")
                                                    << 1 << QByteArray("<div><!-- <b> -->a</div>");
        QTest::newRow("an empty comment ends at once")
            << QByteArray("<div><!--><b>--><b>a</b></div>") << 1
            << QByteArray("<div><!-->-->a</div>");
        QTest::newRow("letter case of end tags")
            << QByteArray("<b><I>a</i></B><u>c</u>") << 1 << QByteArray("<b>a</B><u>c</u>");
    }

    void nestingGuard()
    {
        QFETCH(QByteArray, html);
        QFETCH(int, maxDepth);
        QFETCH(QByteArray, expected);
        bool changed = true;
        const std::string out = NestingGuard::flatten(bytes(html), changed, maxDepth);
        QCOMPARE(changed, !expected.isEmpty());
        if (changed)
            QCOMPARE(QByteArray::fromStdString(out), expected);
    }

    // The head cut gives the same body text, or leaves a head it cannot follow alone.
    void headCut_data()
    {
        QTest::addColumn<QByteArray>("html");
        QTest::addColumn<bool>("cut");

        QTest::newRow("meta, link, script")
            << QByteArray("<!doctype html><html><head><meta charset=utf-8><link rel=x href=y>"
                          "<script>if (a < b) x();</script></head><body>Hello</body></html>")
            << true;
        QTest::newRow("odd comment forms")
            << QByteArray("<head><!--><!---><!-- a --!><title>t</title></head><body>b") << true;
        QTest::newRow("style kept") << QByteArray("<head><style>p{display:none}</style></head>"
                                                  "<body><p>hidden</p>shown")
                                    << true;
        QTest::newRow("text in the head") << QByteArray("<head>words<body>b") << false;
        QTest::newRow("noscript with a style")
            << QByteArray("<head><noscript><style>b{display:none}</style><meta a=b></noscript>"
                          "</head><body><b>bold</b>")
            << true;
        QTest::newRow("noscript with content")
            << QByteArray("<head><noscript><p>enable scripts</p></noscript></head><body>b")
            << false;
        QTest::newRow("script escaping") << QByteArray("<head><script><!--<script>x</script>"
                                                       "--></script></head><body>b")
                                         << false;
        QTest::newRow("attribute with '>' in the head")
            << QByteArray("<head><meta content=\"a>b\"></head><body>text") << true;
        QTest::newRow("unknown element") << QByteArray("<head><meta2></head><body>b") << false;
    }

    void headCut()
    {
        QFETCH(QByteArray, html);
        QFETCH(bool, cut);
        const std::string page = bytes(html);
        const std::optional<HeadCut> kept = ::headCut(page);
        QCOMPARE(kept.has_value(), cut);
        if (kept) {
            const std::string condensed = kept->kept + page.substr(kept->bodyAt);
            PageParser parser;
            const std::string whole = parser.bodyText(page, 0);
            QCOMPARE(QByteArray::fromStdString(parser.bodyText(condensed, 0)),
                     QByteArray::fromStdString(whole));
        }
    }

    // The fast reading either gives the parser's text, byte for byte, or
    // declines: each rule for declining with a case just inside and one just
    // outside it.
    void fastText_data()
    {
        QTest::addColumn<QByteArray>("markup");
        QTest::addColumn<bool>("taken");

        // The head and the body tag.
        QTest::newRow("head of meta, link, script")
            << QByteArray("<!DOCTYPE html><html lang=en><head><meta charset=utf-8><link rel=a "
                          "href=b><script>if (a < b) c();</script></head><body class=x>Hi <b>you"
                          "</b></body></html>")
            << true;
        QTest::newRow("text in the head") << QByteArray("<html><head>x</head><body>y") << false;
        QTest::newRow("no head, no body tag")
            << QByteArray("<!DOCTYPE html>\n<!-- c --><p>text<b>bold</b>") << true;
        QTest::newRow("no body tag after head elements")
            << QByteArray("<!DOCTYPE html><meta charset=utf-8><p>text") << false;
        QTest::newRow("text first") << QByteArray("  text <i>x</i>") << true;
        QTest::newRow("body hidden") << QByteArray("<html><head></head><body hidden>x") << false;
        QTest::newRow("head rules by class")
            << QByteArray("<html><head><style>.h{display:none}</style></head><body><p class=h>"
                          "hidden</p><p>shown</p>")
            << true;
        QTest::newRow("head rules by descendant and attribute")
            << QByteArray("<html><head><style>div p{display:none} [title~=b]{white-space:pre}"
                          "</style></head><body><div><p>a</p></div><p>b</p><span title='a b'>"
                          "c   d</span>")
            << true;
        QTest::newRow("rules on the body") << QByteArray("<html><head><style>body{white-space:"
                                                         "pre}</style></head><body> a  b </body>\n")
                                           << true;

        // Paragraphs, list items and headings closed by the parser.
        QTest::newRow("paragraph closed by a block") << QByteArray("<p>a<div>b</div>c") << true;
        QTest::newRow("paragraph closed around an open element")
            << QByteArray("<p><b>a<div>b</div>") << false;
        QTest::newRow("paragraph out of a button's scope")
            << QByteArray("<p>a<button>b<div>c</div></button>d</p>") << true;
        QTest::newRow("list item closed by the next") << QByteArray("<ul><li>a<li>b</ul>") << true;
        QTest::newRow("list item closed by the list's end")
            << QByteArray("<ol><li><p>a</ol>b") << true;
        QTest::newRow("list item left open at a span's end")
            << QByteArray("<span><ul><li>a</span>") << false;
        QTest::newRow("list item closed around an open element")
            << QByteArray("<ul><li><b>a<li>b</ul>") << false;
        QTest::newRow("nested list keeps the outer item")
            << QByteArray("<ul><li>a<ul><li>b</li></ul>c</li></ul>") << true;
        QTest::newRow("definitions") << QByteArray("<dl><dt>a<dd>b<dt>c</dl>") << true;
        QTest::newRow("headings in turn") << QByteArray("<h1>a</h1><h2>b</h2>") << true;
        QTest::newRow("heading in a heading") << QByteArray("<h1>a<h2>b</h2>") << false;
        QTest::newRow("custom element in a paragraph")
            << QByteArray("<p>a<x-y>b</x-y>c</p>") << true;
        QTest::newRow("unknown kind in a paragraph") << QByteArray("<p>a<main>b</main></p>")
                                                     << false;
        QTest::newRow("main outside a paragraph") << QByteArray("<main><p>a</p>b</main>") << true;

        // Elements the parser rearranges or checks for.
        QTest::newRow("links in turn") << QByteArray("<a>x</a> <a>y</a>") << true;
        QTest::newRow("link in a link") << QByteArray("<a>x<a>y</a>") << false;
        QTest::newRow("button in a button") << QByteArray("<button>x<button>y") << false;
        QTest::newRow("four bold levels") << QByteArray("<b><b><b><b>x</b></b></b></b>y") << true;
        QTest::newRow("misnested end tags") << QByteArray("<b><i>x</b></i>") << false;
        QTest::newRow("stray end tag") << QByteArray("a</span>b") << false;
        QTest::newRow("paragraph end without a paragraph") << QByteArray("a</p>b") << false;
        QTest::newRow("table") << QByteArray("<table><tr><td>a</td></tr></table>") << false;
        QTest::newRow("table by style") << QByteArray("<div style='display:table-cell'>a</div>")
                                        << false;
        QTest::newRow("drawing of paths")
            << QByteArray("a<svg viewBox='0 0 1 1'><!-- c --><path d='M0'/><g><path></path></g>"
                          "</svg>b<p>c<svg/>d")
            << true;
        QTest::newRow("drawing hidden by a rule")
            << QByteArray("<html><head><style>svg{display:none}</style></head><body>a <svg>"
                          "<path/></svg> b")
            << true;
        QTest::newRow("drawing with text") << QByteArray("<svg><text>a</text></svg>") << false;
        QTest::newRow("drawing with HTML") << QByteArray("<svg><p>a</svg>") << false;
        QTest::newRow("template") << QByteArray("<template><p>a<b>c</b></template>b") << true;
        QTest::newRow("list item in a template in a list item")
            << QByteArray("<ul><li>a<template><li>b</template></ul>") << false;
        QTest::newRow("form") << QByteArray("<form>a<p>b</form>c") << true;
        QTest::newRow("form in a form") << QByteArray("<form><form>a</form>") << false;
        QTest::newRow("select") << QByteArray("<select><option>a</select>") << false;

        // How tags and attributes are read.
        QTest::newRow("upper-case tags and attributes")
            << QByteArray("<DIV HIDDEN>b</DIV>c<SPAN Style='DISPLAY:none'>d</SPAN>e") << true;
        QTest::newRow("the first of two attributes counts")
            << QByteArray("<div style='display:none' style='display:block'>a</div>b") << true;
        QTest::newRow("self-closing mark on a div") << QByteArray("<div/>a</div>b") << true;
        QTest::newRow("attribute named =") << QByteArray("<p =a hidden>x</p>y") << true;
        QTest::newRow("slash before an attribute") << QByteArray("<p/hidden>x</p>y") << true;
        QTest::newRow("quoted '>' in an attribute")
            << QByteArray("<span title='a>b' hidden>x</span>y") << true;
        QTest::newRow("quote in an unquoted value")
            << QByteArray("<span title=a\"b hidden>x</span>y") << true;
        QTest::newRow("end tag with attributes") << QByteArray("<b>x</b class='y>z'>w") << true;
        QTest::newRow("less-than as text") << QByteArray("a < b <3 c <") << true;
        QTest::newRow("bogus comments") << QByteArray("a<?php x ?>b<!x>c</>d</ x>e") << true;
        QTest::newRow("comment forms") << QByteArray("a<!-->b<!--->c<!-- d --!>e") << true;
        QTest::newRow("tag cut off by the end") << QByteArray("a<span title='x") << false;
        QTest::newRow("comment cut off by the end") << QByteArray("a<!-- b") << false;

        // White space and line breaks.
        QTest::newRow("spaces around inline elements")
            << QByteArray("a <b> b </b> c<i></i> d\t\n e") << true;
        QTest::newRow("empty paragraphs and breaks")
            << QByteArray("<p></p><p>a</p><br><br>b<p></p>") << true;
        QTest::newRow("nested blocks")
            << QByteArray("<div><div>a</div> <div> b <p>c</p></div></div>d") << true;
        QTest::newRow("hidden text keeps its place")
            << QByteArray("a<span style='visibility:hidden'>b</span>c <span "
                          "style='visibility:hidden'> </span>d")
            << true;

        // Style rules.
        QTest::newRow("id and child selectors")
            << QByteArray("<html><head><style>#x > b{display:none} div#y{white-space:pre}"
                          "</style></head><body><p id=x><b>a</b>c</p><div id=y> d  e</div>")
            << true;
        QTest::newRow("important rule against the style attribute")
            << QByteArray("<html><head><style>.a{display:none !important}</style></head><body>"
                          "<p class=a style='display:block'>x</p>y")
            << true;
        QTest::newRow("screen and print rules")
            << QByteArray("<html><head><style>@media screen{.a{display:none}} @media print{.b{"
                          "display:none}}</style></head><body><p class=a>x</p><p class=b>y</p>")
            << true;
        QTest::newRow("unknown reference in an attribute no rule reads")
            << QByteArray("<p title='&eacute;'>x</p>") << true;
        QTest::newRow("unknown reference in an attribute a rule reads")
            << QByteArray("<html><head><style>[title]{display:none}</style></head><body>"
                          "<p title='&eacute;'>x</p>")
            << false;
        QTest::newRow("every named reference known here")
            << QByteArray("&amp;&lt;&gt;&quot;&apos;&nbsp;&copy;&reg;&mdash;&ndash;&hellip;"
                          "&lsquo;&rsquo;&ldquo;&rdquo;&laquo;&raquo;&middot;&times;")
            << true;

        // After the body.
        QTest::newRow("blanks after the body") << QByteArray("a</body>\n</html>\n") << true;
        QTest::newRow("text after the body") << QByteArray("a</body>b") << false;
        QTest::newRow("element open at the body's end") << QByteArray("<div>a</body>") << false;

        // Line feeds after pre.
        QTest::newRow("line feed after pre dropped") << QByteArray("<pre>\n a\n  b</pre>") << true;
        QTest::newRow("comment before a pre's line feed")
            << QByteArray("<pre><!---->\na</pre>") << true;
        QTest::newRow("line feed by reference after pre") << QByteArray("<pre>&#10;a</pre>")
                                                          << false;

        // Character references.
        QTest::newRow("named references")
            << QByteArray("&amp; &lt; &gt; &nbsp; &quot; &copy; &apos; &mdash;") << true;
        QTest::newRow("numeric references") << QByteArray("&#60;&#x3C;&#233;&#x1F600;") << true;
        QTest::newRow("ampersands that are no reference") << QByteArray("a & b &= c &") << true;
        QTest::newRow("named reference not known here") << QByteArray("&eacute;") << false;
        QTest::newRow("reference without semicolon") << QByteArray("&amp x") << false;
        QTest::newRow("reference to a control") << QByteArray("&#1;") << false;
        QTest::newRow("reference past Unicode") << QByteArray("&#x110000;") << false;
        QTest::newRow("references in attributes")
            << QByteArray("<html><head><style>[title='a&b']{display:none}</style></head><body>"
                          "<p title='a&amp;b'>x</p><p title=\"a&#38;c\">y</p>")
            << true;

        // Raw text.
        QTest::newRow("script with markup") << QByteArray("<script>if (a<b) x('</p>');</script>t")
                                            << true;
        QTest::newRow("script with escaped text") << QByteArray("<script><!--x--></script>t")
                                                  << false;
        QTest::newRow("style without rules that matter")
            << QByteArray("<style>p{color:red}</style><p>t") << true;
        QTest::newRow("style rules in the body") << QByteArray("<style>p{display:none}</style><p>t")
                                                 << false;
        QTest::newRow("style rules in a noscript")
            << QByteArray("<noscript><style>p{display:none}</style></noscript><p>t") << true;
        QTest::newRow("script shown by a rule")
            << QByteArray("<html><head><style>script{display:block}</style></head><body>"
                          "<script>x</script>")
            << false;
        QTest::newRow("textarea and iframe")
            << QByteArray("a<textarea><b>x</b></textarea>b<iframe>y</iframe>c") << true;
        QTest::newRow("script cut off") << QByteArray("<script>x") << false;

        // Styles.
        QTest::newRow("hidden and shown again")
            << QByteArray("<span hidden>x</span>y<p style='visibility:hidden'>a <span "
                          "style='visibility:visible'>b</span> c</p>")
            << true;
        QTest::newRow("white space kept") << QByteArray("<div style='white-space:pre'>  a  b\n c "
                                                        "</div><div style='white-space:pre-line'"
                                                        ">d   e\nf</div>")
                                          << true;
        QTest::newRow("flex items") << QByteArray("<div style='display:flex'><span>a</span><span>"
                                                  "b</span></div>")
                                    << true;
        QTest::newRow("inline blocks and replaced elements")
            << QByteArray("a <button>b</button> c<img alt=x> d<br>e<hr>f") << true;
        QTest::newRow("floated") << QByteArray("a <div style='float:left'>b</div> c") << false;
        QTest::newRow("text-transform") << QByteArray("<p style='text-transform:uppercase'>a</p>")
                                        << false;
        QTest::newRow("closed and open details")
            << QByteArray("<details>x<summary>s</summary>y<summary>t</summary></details>"
                          "<details open><summary>u</summary>v</details>")
            << true;

        // Bytes.
        QTest::newRow("not UTF-8 in a comment") << QByteArray("a<!-- \xff -->b") << true;
        QTest::newRow("not UTF-8 in the text") << QByteArray("a\xff b") << false;
        QTest::newRow("control character in the text") << QByteArray("a\xc2\x8f b") << false;
        QTest::newRow("control character in a hidden element")
            << QByteArray("a<span hidden>\xc2\x8f</span>b") << true;
        QTest::newRow("carriage return") << QByteArray("a\r\nb") << false;
        QTest::newRow("NUL") << QByteArray("a", 1) + QByteArray(1, '\0') + "b" << false;

        // Depth.
        QTest::newRow("deep") << QByteArray("<div>").repeated(300) + "x" << true;
        QTest::newRow("deeper than the nesting guard allows")
            << QByteArray("<div>").repeated(500) + "x" << false;
    }

    void fastText()
    {
        QFETCH(QByteArray, markup);
        QFETCH(bool, taken);
        const std::string html = page(markup);
        PageParser parser;
        const std::string library = parser.bodyText(html, 0, true);
        const FastText::Result fast = FastText::read(html, 0);
        QVERIFY2(fast.taken == taken, fast.declined);
        if (taken)
            QCOMPARE(QByteArray::fromStdString(fast.text), QByteArray::fromStdString(library));
        QCOMPARE(QByteArray::fromStdString(FastText::bodyText(html, 0, parser)),
                 QByteArray::fromStdString(library));
    }

    // With words wanted the reading stops early, giving the start of the
    // whole text, unless markup further on could change what came before.
    void fastTextWords_data()
    {
        QTest::addColumn<QByteArray>("tail");
        QTest::addColumn<int>("size");
        QTest::addColumn<bool>("early");

        QTest::newRow("plain") << QByteArray("</body></html>") << 20000 << true;
        QTest::newRow("style further on") << QByteArray("<style>b{color:red}</style>") << 20000
                                          << false;
        QTest::newRow("a style end tag in a script further on")
            << QByteArray("<script>x = '</style>';</script>") << 20000 << false;
        QTest::newRow("fewer words than wanted") << QByteArray() << 10 << false;
    }

    void fastTextWords()
    {
        QFETCH(QByteArray, tail);
        QFETCH(int, size);
        QFETCH(bool, early);
        QByteArray markup;
        for (int i = 0; markup.size() < size; ++i)
            markup += "<p>word" + QByteArray::number(i) + " <b>bold</b> and more</p>\n";
        const std::string html = page(markup + tail);
        PageParser parser;
        const std::string whole = parser.bodyText(html, 0, true);
        const FastText::Result fast = FastText::read(html, 5);
        QVERIFY2(fast.taken, fast.declined);
        QCOMPARE(fast.text.size() < whole.size(), early);
        QCOMPARE(QByteArray::fromStdString(whole.substr(0, fast.text.size())),
                 QByteArray::fromStdString(fast.text));
    }

    // One UTF-8 check serves the names' text rules and the page encoding.
    void utf8_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("verdict");
        QTest::addColumn<bool>("multiByte");

        QTest::newRow("ascii") << QByteArray("plain text, longer than eight") << 0 << false;
        QTest::newRow("two-byte") << QByteArray("caf\xc3\xa9") << 0 << true;
        QTest::newRow("four-byte") << QByteArray("\xf0\x9f\x98\x80") << 0 << true;
        QTest::newRow("overlong") << QByteArray("\xc0\xaf") << 1 << false;
        QTest::newRow("overlong three-byte") << QByteArray("\xe0\x80\xaf") << 1 << false;
        QTest::newRow("surrogate") << QByteArray("\xed\xa0\x80") << 1 << false;
        QTest::newRow("past U+10FFFF") << QByteArray("\xf4\x90\x80\x80") << 1 << false;
        QTest::newRow("latin-1 byte after valid")
            << QByteArray("\xc3\xa9 caf\xe9 and more text") << 1 << true;
        QTest::newRow("cut at the end") << QByteArray("\xc3\xa9\xe2\x82") << 2 << true;
        QTest::newRow("cut after ascii only") << QByteArray("abc\xe2") << 2 << false;
    }

    void utf8()
    {
        QFETCH(QByteArray, input);
        QFETCH(int, verdict);
        QFETCH(bool, multiByte);
        const Utf8::Check check = Utf8::check(input.constData(), size_t(input.size()));
        QCOMPARE(int(check.verdict), verdict);
        QCOMPARE(check.multiByte, multiByte);
        // A page cut from a longer file may end inside a sequence.
        QCOMPARE(PageEncoding::looksLikeUtf8(bytes(input), true),
                 multiByte && verdict != int(Utf8::Check::Invalid));
        QCOMPARE(PageEncoding::looksLikeUtf8(bytes(input), false), multiByte && verdict == 0);
    }

    // The encoding prescan finds a <meta> only where the markup is not text of
    // something else.
    void prescan_data()
    {
        QTest::addColumn<QByteArray>("html");
        QTest::addColumn<QString>("encoding");

        QTest::newRow("charset") << QByteArray("<meta charset=\"koi8-r\">") << "KOI8-R";
        QTest::newRow("http-equiv")
            << QByteArray("<meta http-equiv=Content-Type content='text/html; charset=latin1'>")
            << "windows-1252";
        QTest::newRow("content without http-equiv")
            << QByteArray("<meta content='text/html; charset=koi8-r'>") << "";
        QTest::newRow("in a comment") << QByteArray("<!-- <meta charset=koi8-r> -->") << "";
        QTest::newRow("after an empty comment")
            << QByteArray("<!--><meta charset=koi8-r>") << "KOI8-R";
        QTest::newRow("in an attribute value")
            << QByteArray("<a title='<meta charset=koi8-r>'>") << "";
        QTest::newRow("utf-16 declared means utf-8")
            << QByteArray("<meta charset=utf-16le>") << "UTF-8";
        QTest::newRow("beyond 1024 bytes")
            << QByteArray(1100, ' ') + QByteArray("<meta charset=koi8-r>") << "";
    }

    void prescan()
    {
        QFETCH(QByteArray, html);
        QFETCH(QString, encoding);
        QCOMPARE(QString::fromStdString(PageEncoding::prescan(bytes(html))), encoding);
    }

    // A prefix of a long page gives the same first words as the whole page,
    // however the cut falls among tags, comments, attributes and scripts.
    void prefixWords_data()
    {
        QTest::addColumn<QByteArray>("unit");
        QTest::addColumn<int>("words");

        QTest::newRow("paragraphs") << QByteArray("<p>alpha beta</p>\n") << 5;
        QTest::newRow("quoted '>' in attributes")
            << QByteArray("<span title=\"a > b\" data-x='>'>gamma</span> ") << 7;
        QTest::newRow("comments holding tags") << QByteArray("<!-- <p> --> delta <b>e</b> ") << 9;
        QTest::newRow("scripts holding tags")
            << QByteArray("<script>document.write('<div>')</script>zeta ") << 3;
        QTest::newRow("table rows") << QByteArray("<tr><td>eta</td><td>theta</td></tr>") << 4;
    }

    void prefixWords()
    {
        QFETCH(QByteArray, unit);
        QFETCH(int, words);
        QByteArray page = "<html><head><title>t</title></head><body><table>";
        if (!unit.startsWith("<tr>"))
            page = "<html><head><title>t</title></head><body>";
        while (page.size() < 40000)
            page += unit;
        PageParser parser;
        const std::string html = bytes(page);
        const QString some = QString::fromStdString(parser.bodyText(html, words));
        const QString whole = QString::fromStdString(parser.bodyText(html, 0));
        auto firstWords = [words](QString text) {
            text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
            return text.simplified().split(u' ').mid(0, words);
        };
        QCOMPARE(firstWords(some), firstWords(whole));
        QVERIFY(!firstWords(whole).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestEngine)
#include "tst_engine.moc"
