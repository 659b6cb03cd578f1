#include "FuzzBodies.h"

#include "pagetext/engine/FastText.h"
#include "pagetext/engine/InnerText.h"
#include "pagetext/engine/NestingGuard.h"
#include "pagetext/engine/PageEncoding.h"
#include "pagetext/engine/PageParser.h"
#include "pagetext/engine/StyleRules.h"
#include "platform/Utf8.h"
#include "rename/PathRoutines.h"
#include "rename/Renaming.h"
#include "rename/TargetNames.h"
#include "rename/TextRules.h"

#include <QStringList>
#include <cstdio>
#include <cstdlib>
#include <gumbo.h>
#include <vector>

namespace FuzzBodies {

namespace {

[[noreturn]] void broken(const char* promise)
{
    std::fprintf(stderr, "broken promise: %s\n", promise);
    std::abort();
}

bool flag(std::string_view& input, unsigned char& byte)
{
    if (input.empty())
        return false;
    byte = static_cast<unsigned char>(input.front());
    input.remove_prefix(1);
    return true;
}

// The first `n` words as the content namer takes them: LF dropped, CR a
// blank, trimmed, split at every blank.
QStringList firstWords(const std::string& text, int n)
{
    QString t = QString::fromUtf8(text);
    t.remove(QChar(u'\n'));
    t.replace(QChar(u'\r'), QChar(u' '));
    return TextRules::splitText(TextRules::trimBlanks(t), QLatin1Char(' ')).mid(0, n);
}

void cascadeAll(const StyleRules& rules, const GumboNode* root)
{
    std::vector<const GumboNode*> stack{root};
    while (!stack.empty()) {
        const GumboNode* node = stack.back();
        stack.pop_back();
        const GumboVector* children = nullptr;
        if (node->type == GUMBO_NODE_DOCUMENT) {
            children = &node->v.document.children;
        } else if (node->type == GUMBO_NODE_ELEMENT || node->type == GUMBO_NODE_TEMPLATE) {
            CascadedStyle style;
            rules.cascade(node, style);
            children = &node->v.element.children;
        }
        if (children)
            for (unsigned i = 0; i < children->length; ++i)
                stack.push_back(static_cast<const GumboNode*>(children->data[i]));
    }
}

} // namespace

void encoding(std::string_view input)
{
    unsigned char options = 0;
    flag(input, options);
    const bool truncated = options & 1;
    PageEncoding::prescan(input);
    PageEncoding::forLabel(input.substr(0, 64));
    std::string name;
    const std::string text = PageEncoding::toUtf8(input, truncated, &name);
    if (name.empty() || PageEncoding::forLabel(name) != name)
        broken("the encoding used is one of the known ones, by its own name");
    // Bytes said to be UTF-8 go to the parser as they are; anything decoded must be UTF-8.
    if (name != "UTF-8" && Utf8::check(text.data(), text.size()).verdict != Utf8::Check::Valid)
        broken("decoded text is valid UTF-8");
}

void pageText(std::string_view input, bool guarded)
{
    static PageParser parser;
    unsigned char options = 0;
    flag(input, options);
    const bool fragment = options & 0x80;
    const int words = options & 0x0F;
    std::string html = PageEncoding::toUtf8(input, options & 0x40);
    // The parser library asserts on some CDATA sections in foreign content (see
    // parser-abort.html in the page-text tests); the helper process contains
    // that, an in-process fuzzer cannot, so such pages are left out here.
    if (html.find("<![CDATA[") != std::string::npos)
        return;
    try {
        if (fragment) {
            bool changed = false;
            const std::string flat = guarded ? NestingGuard::flatten(html, changed) : std::string();
            parser.fragmentText(changed ? flat : html);
            return;
        }
        const std::string some = parser.bodyText(html, words, guarded);
        if (words > 0) {
            const std::string whole = parser.bodyText(html, 0, guarded);
            if (firstWords(some, words) != firstWords(whole, words))
                broken("a prefix gives the first words of the whole page");
        }
    } catch (const PageError&) {
    }
}

void fastText(std::string_view input)
{
    static PageParser parser;
    unsigned char options = 0;
    flag(input, options);
    const int words = options & 0x0F;
    const bool truncated = options & 0x40;
    std::string bytes(input);
    if (options & 0x20)
        bytes = "<!DOCTYPE html><html><head><title>t</title></head><body>" + bytes;
    // Decoded as the helper decodes a page.
    std::string decoded;
    std::string_view html = bytes;
    if (PageEncoding::detect(html, truncated) == "UTF-8") {
        if (html.substr(0, 3) == "\xEF\xBB\xBF")
            html.remove_prefix(3);
    } else {
        decoded = PageEncoding::toUtf8(bytes, truncated);
        html = decoded;
    }
    if (html.find("<![CDATA[") != std::string_view::npos)
        return; // see pageText
    const FastText::Result fast = FastText::read(html, words);
    if (!fast.taken)
        return;
    std::string whole;
    try {
        whole = parser.bodyText(html, 0, true);
    } catch (const PageError&) {
        broken("the fast reading declines pages the parser fails on");
    }
    if (words == 0) {
        if (fast.text != whole)
            broken("the fast reading gives the parser's text");
        return;
    }
    if (whole.compare(0, fast.text.size(), fast.text) != 0)
        broken("with words wanted, the fast reading gives the start of the parser's text");
    if (firstWords(fast.text, words) != firstWords(whole, words))
        broken("with words wanted, the fast reading holds the first words");
}

void styleRules(std::string_view input)
{
    const size_t nul = input.find('\0');
    const std::string_view css = input.substr(0, nul);
    const std::string_view page =
        nul == std::string_view::npos
            ? std::string_view("<div id=a class='b c' lang=en title=x><p>t<span "
                               "data-x='y z'>u</span></p><ul><li class=b>v</li></ul>"
                               "<svg><title>w</title></svg></div>")
            : input.substr(nul + 1);
    StyleRules rules;
    rules.addSheet(css);
    CascadedStyle inlineStyle;
    applyInlineStyle(css, inlineStyle);
    GumboOutput* output = gumbo_parse_with_options(&kGumboDefaultOptions, page.data(), page.size());
    cascadeAll(rules, output->document);
    InnerText::pageStyleRules(output->document);
    gumbo_destroy_output(&kGumboDefaultOptions, output);
}

void names(std::string_view input)
{
    const QString text = TextRules::decodeText(QByteArray(input.data(), qsizetype(input.size())));
    for (const NameVariant variant : {NameVariant::Content, NameVariant::Metadata}) {
        const QString clean = RemoveForbiddenCharacters(text, variant);
        for (const QChar c : clean)
            if (QStringLiteral("\t\r\n/\\*:?<>|=\"'").contains(c) ||
                (variant == NameVariant::Metadata && c == u'%'))
                broken("no forbidden character is left in a name");
    }
    const QString kept = KeepNameCharacters(text);
    for (const QChar c : kept) {
        const int code = TextRules::ansiCode(c);
        if (code < 32 || (code > 126 && code < 160))
            broken("only printable characters are kept in a name");
    }
    StripExtension(GetFileName(text));
    GetExtension(text);
    const QString normal = Paths::NormalizePath(text);
    if (normal.size() > text.size())
        broken("normalising never lengthens a path");
    if (!text.contains(QStringLiteral("//")) && normal != text)
        broken("a path without doubled separators stays as it is");
}

void metadata(std::string_view input)
{
    const QString text = TextRules::decodeText(QByteArray(input.data(), qsizetype(input.size())));
    const TextLines lines(text);
    lines.firstNonEmptyLine();
    for (const char* field : {"", "Author", "Title", "Subject", "Creator", "Producer", "Keywords",
                              "CreationDate", "ModDate", "Pages", "<"}) {
        const QString value = metaFieldValue(lines, QString::fromLatin1(field));
        if (value.contains(u'\n') || value.contains(u'\r'))
            broken("a field's value lies within one line");
    }
}

} // namespace FuzzBodies
