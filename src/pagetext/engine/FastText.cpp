#include "pagetext/engine/FastText.h"

#include "pagetext/engine/Element.h"
#include "pagetext/engine/InnerText.h"
#include "pagetext/engine/MarkupScan.h"
#include "pagetext/engine/NestingGuard.h"
#include "pagetext/engine/PageHead.h"
#include "pagetext/engine/PageParser.h"
#include "pagetext/engine/StyleRules.h"
#include "pagetext/engine/TagSets.h"
#include "platform/Utf8.h"

#include <array>
#include <cstring>
#include <gumbo.h>
#include <initializer_list>
#include <memory>
#include <optional>
#include <vector>

// The reading follows the parser's tokenizer and its "in body" rules for the
// tags it accepts, and the innerText walk (InnerText) for what it writes: the
// styles come from InnerText itself, computed on stand-in element nodes whose
// ancestors are the open elements, so that style rules match as they would in
// the tree. It declines wherever the parser would do more than push and pop
// elements in the order written, and wherever text would need decoding it does
// not do exactly.

namespace {

using Display = InnerText::Display;
using Style = InnerText::Style;
using WhiteSpace = InnerText::WhiteSpace;
using MarkupScan::npos;

struct Declined
{
    const char* reason;
};

[[noreturn]] void decline(const char* reason)
{
    throw Declined{reason};
}

// Below the nesting guard's depth, so the guard never changes a page read here.
constexpr size_t kMaxDepth = NestingGuard::kMaxDepth - 64;

// Words are looked for again each time this much more text has been written.
constexpr size_t kWordCheckStep = 64;

bool isTagSpace(char c)
{
    // A carriage return is a line feed to the parser.
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

bool isAsciiAlnum(char c)
{
    return MarkupScan::isAsciiLetter(c) || (c >= '0' && c <= '9');
}

// How the parser's "in body" rules treat a start tag.
enum class Rule : unsigned char {
    Decline,     // tables, forms, foreign content, templates, ...
    Ordinary,    // inserted where it stands
    Phrasing,    // inserted where it stands, and never closes a paragraph
    ClosesP,     // closes an open paragraph first
    Heading,     // closes an open paragraph, and must not stand in a heading
    Pre,         // closes an open paragraph; a line feed right after it is dropped
    ListItem,    // closes an open list item of its kind first
    Button,      // must not stand in a button
    Anchor,      // must not stand in a link
    Nobr,        // must not stand in a nobr
    Void,        // no content, no end tag
    VoidClosesP, // hr
    RawText,     // content up to its end tag is text, never shown
    ReplacedRaw, // the same, for a replaced element (iframe, textarea)
    Form,        // closes an open paragraph, and must not stand in a form
    Template,    // inserted where it stands, never shown
    Svg,         // a drawing: foreign content
};

// The parser's treatment of each tag, as read here.
struct TagTable
{
    std::array<Rule, GUMBO_TAG_LAST + 1> rule;
    // The parser's "special" elements other than address, div and p, those every
    // version of it knows: they stop the search for an open list item.
    std::array<bool, GUMBO_TAG_LAST + 1> stopsListSearch{};
    // End tags that close paragraphs and list items left open in them.
    std::array<bool, GUMBO_TAG_LAST + 1> closesImpliedEnds{};

    TagTable()
    {
        rule.fill(Rule::Ordinary);
        const auto set = [this](Rule r, std::initializer_list<GumboTag> tags) {
            for (const GumboTag t : tags)
                rule[t] = r;
        };
        set(Rule::ClosesP,
            {GUMBO_TAG_ADDRESS, GUMBO_TAG_ARTICLE,  GUMBO_TAG_ASIDE,      GUMBO_TAG_BLOCKQUOTE,
             GUMBO_TAG_CENTER,  GUMBO_TAG_DETAILS,  GUMBO_TAG_DIR,        GUMBO_TAG_DIV,
             GUMBO_TAG_DL,      GUMBO_TAG_FIELDSET, GUMBO_TAG_FIGCAPTION, GUMBO_TAG_FIGURE,
             GUMBO_TAG_FOOTER,  GUMBO_TAG_HEADER,   GUMBO_TAG_HGROUP,     GUMBO_TAG_MENU,
             GUMBO_TAG_NAV,     GUMBO_TAG_OL,       GUMBO_TAG_P,          GUMBO_TAG_SECTION,
             GUMBO_TAG_SUMMARY, GUMBO_TAG_UL});
        set(Rule::Heading,
            {GUMBO_TAG_H1, GUMBO_TAG_H2, GUMBO_TAG_H3, GUMBO_TAG_H4, GUMBO_TAG_H5, GUMBO_TAG_H6});
        set(Rule::Pre, {GUMBO_TAG_PRE, GUMBO_TAG_LISTING});
        set(Rule::ListItem, {GUMBO_TAG_LI, GUMBO_TAG_DD, GUMBO_TAG_DT});
        set(Rule::Button, {GUMBO_TAG_BUTTON});
        set(Rule::Anchor, {GUMBO_TAG_A});
        set(Rule::Nobr, {GUMBO_TAG_NOBR});
        set(Rule::Phrasing,
            {GUMBO_TAG_B,    GUMBO_TAG_BIG,  GUMBO_TAG_CODE,  GUMBO_TAG_EM,     GUMBO_TAG_FONT,
             GUMBO_TAG_I,    GUMBO_TAG_S,    GUMBO_TAG_SMALL, GUMBO_TAG_STRIKE, GUMBO_TAG_STRONG,
             GUMBO_TAG_TT,   GUMBO_TAG_U,    GUMBO_TAG_SPAN,  GUMBO_TAG_ABBR,   GUMBO_TAG_BDI,
             GUMBO_TAG_BDO,  GUMBO_TAG_CITE, GUMBO_TAG_DATA,  GUMBO_TAG_DEL,    GUMBO_TAG_DFN,
             GUMBO_TAG_INS,  GUMBO_TAG_KBD,  GUMBO_TAG_LABEL, GUMBO_TAG_MARK,   GUMBO_TAG_Q,
             GUMBO_TAG_SAMP, GUMBO_TAG_SUB,  GUMBO_TAG_SUP,   GUMBO_TAG_TIME,   GUMBO_TAG_VAR});
        set(Rule::Void, {GUMBO_TAG_AREA, GUMBO_TAG_BR, GUMBO_TAG_EMBED, GUMBO_TAG_IMG,
                         GUMBO_TAG_KEYGEN, GUMBO_TAG_WBR, GUMBO_TAG_INPUT, GUMBO_TAG_PARAM,
                         GUMBO_TAG_SOURCE, GUMBO_TAG_TRACK, GUMBO_TAG_BASE, GUMBO_TAG_BASEFONT,
                         GUMBO_TAG_BGSOUND, GUMBO_TAG_LINK, GUMBO_TAG_META});
        set(Rule::VoidClosesP, {GUMBO_TAG_HR});
        set(Rule::RawText, {GUMBO_TAG_SCRIPT, GUMBO_TAG_STYLE, GUMBO_TAG_TITLE, GUMBO_TAG_NOFRAMES,
                            GUMBO_TAG_NOEMBED});
        set(Rule::ReplacedRaw, {GUMBO_TAG_IFRAME, GUMBO_TAG_TEXTAREA});
        set(Rule::Decline,
            {GUMBO_TAG_HTML,     GUMBO_TAG_BODY,      GUMBO_TAG_HEAD,    GUMBO_TAG_FRAMESET,
             GUMBO_TAG_FRAME,    GUMBO_TAG_PLAINTEXT, GUMBO_TAG_APPLET,  GUMBO_TAG_MARQUEE,
             GUMBO_TAG_OBJECT,   GUMBO_TAG_TABLE,     GUMBO_TAG_CAPTION, GUMBO_TAG_COL,
             GUMBO_TAG_COLGROUP, GUMBO_TAG_TBODY,     GUMBO_TAG_THEAD,   GUMBO_TAG_TFOOT,
             GUMBO_TAG_TR,       GUMBO_TAG_TD,        GUMBO_TAG_TH,      GUMBO_TAG_IMAGE,
             GUMBO_TAG_ISINDEX,  GUMBO_TAG_XMP,       GUMBO_TAG_SELECT,  GUMBO_TAG_OPTION,
             GUMBO_TAG_OPTGROUP, GUMBO_TAG_RUBY,      GUMBO_TAG_RB,      GUMBO_TAG_RP,
             GUMBO_TAG_RT,       GUMBO_TAG_RTC,       GUMBO_TAG_MATH,    GUMBO_TAG_MENUITEM});
        set(Rule::Form, {GUMBO_TAG_FORM});
        set(Rule::Template, {GUMBO_TAG_TEMPLATE});
        set(Rule::Svg, {GUMBO_TAG_SVG});
        for (const GumboTag t : std::initializer_list<GumboTag>{
                 GUMBO_TAG_ARTICLE, GUMBO_TAG_ASIDE,    GUMBO_TAG_BLOCKQUOTE, GUMBO_TAG_BODY,
                 GUMBO_TAG_BUTTON,  GUMBO_TAG_CENTER,   GUMBO_TAG_DETAILS,    GUMBO_TAG_DIR,
                 GUMBO_TAG_DL,      GUMBO_TAG_FIELDSET, GUMBO_TAG_FIGCAPTION, GUMBO_TAG_FIGURE,
                 GUMBO_TAG_FOOTER,  GUMBO_TAG_H1,       GUMBO_TAG_H2,         GUMBO_TAG_H3,
                 GUMBO_TAG_H4,      GUMBO_TAG_H5,       GUMBO_TAG_H6,         GUMBO_TAG_HEADER,
                 GUMBO_TAG_HGROUP,  GUMBO_TAG_IFRAME,   GUMBO_TAG_LISTING,    GUMBO_TAG_MENU,
                 GUMBO_TAG_NAV,     GUMBO_TAG_NOEMBED,  GUMBO_TAG_NOFRAMES,   GUMBO_TAG_NOSCRIPT,
                 GUMBO_TAG_OL,      GUMBO_TAG_PRE,      GUMBO_TAG_SCRIPT,     GUMBO_TAG_SECTION,
                 GUMBO_TAG_STYLE,   GUMBO_TAG_SUMMARY,  GUMBO_TAG_TEXTAREA,   GUMBO_TAG_TITLE,
                 GUMBO_TAG_UL})
            stopsListSearch[t] = true;
        for (const GumboTag t : std::initializer_list<GumboTag>{
                 GUMBO_TAG_ADDRESS, GUMBO_TAG_ARTICLE, GUMBO_TAG_ASIDE,    GUMBO_TAG_BLOCKQUOTE,
                 GUMBO_TAG_BUTTON,  GUMBO_TAG_CENTER,  GUMBO_TAG_DETAILS,  GUMBO_TAG_DIR,
                 GUMBO_TAG_DIV,     GUMBO_TAG_DL,      GUMBO_TAG_FIELDSET, GUMBO_TAG_FIGCAPTION,
                 GUMBO_TAG_FIGURE,  GUMBO_TAG_FOOTER,  GUMBO_TAG_HEADER,   GUMBO_TAG_HGROUP,
                 GUMBO_TAG_LISTING, GUMBO_TAG_MENU,    GUMBO_TAG_NAV,      GUMBO_TAG_OL,
                 GUMBO_TAG_PRE,     GUMBO_TAG_SECTION, GUMBO_TAG_SUMMARY,  GUMBO_TAG_UL,
                 GUMBO_TAG_P,       GUMBO_TAG_LI,      GUMBO_TAG_DD,       GUMBO_TAG_DT,
                 GUMBO_TAG_H1,      GUMBO_TAG_H2,      GUMBO_TAG_H3,       GUMBO_TAG_H4,
                 GUMBO_TAG_H5,      GUMBO_TAG_H6,      GUMBO_TAG_FORM,     GUMBO_TAG_TEMPLATE})
            closesImpliedEnds[t] = true;
    }
};

const TagTable& tags()
{
    static const TagTable table;
    return table;
}

Rule ruleOf(GumboTag tag, std::string_view name)
{
    // Custom elements (a hyphen in the name) are ordinary to every version of
    // the parsing rules; other unknown names may not be.
    if (tag == GUMBO_TAG_UNKNOWN)
        return name.find('-') != std::string_view::npos ? Rule::Phrasing : Rule::Ordinary;
    return tags().rule[tag];
}

// Elements whose end tag may be left out before the end tag of an element
// they stand in (among those read here).
bool endsImplied(GumboTag tag)
{
    return tag == GUMBO_TAG_P || tag == GUMBO_TAG_LI || tag == GUMBO_TAG_DD || tag == GUMBO_TAG_DT;
}

// Drawing elements that hold no text and stand in a drawing alone, as the
// parser reads them inside an svg element (lower-case names).
bool isPlainGraphics(std::string_view name)
{
    static constexpr std::string_view names[] = {
        "path", "g", "circle", "rect", "line", "polyline", "polygon", "ellipse", "use", "svg",
    };
    for (const std::string_view n : names)
        if (name == n)
            return true;
    return false;
}

bool isHeading(GumboTag tag)
{
    return tag == GUMBO_TAG_H1 || tag == GUMBO_TAG_H2 || tag == GUMBO_TAG_H3 ||
           tag == GUMBO_TAG_H4 || tag == GUMBO_TAG_H5 || tag == GUMBO_TAG_H6;
}

// The named references decoded here, each with its semicolon; others decline.
struct Named
{
    std::string_view name;
    std::string_view utf8;
};
constexpr Named kNamed[] = {
    {"amp;", "&"},
    {"lt;", "<"},
    {"gt;", ">"},
    {"quot;", "\""},
    {"apos;", "'"},
    {"nbsp;", "\xC2\xA0"},
    {"copy;", "\xC2\xA9"},
    {"reg;", "\xC2\xAE"},
    {"mdash;", "\xE2\x80\x94"},
    {"ndash;", "\xE2\x80\x93"},
    {"hellip;", "\xE2\x80\xA6"},
    {"lsquo;", "\xE2\x80\x98"},
    {"rsquo;", "\xE2\x80\x99"},
    {"ldquo;", "\xE2\x80\x9C"},
    {"rdquo;", "\xE2\x80\x9D"},
    {"laquo;", "\xC2\xAB"},
    {"raquo;", "\xC2\xBB"},
    {"middot;", "\xC2\xB7"},
    {"times;", "\xC3\x97"},
};

// Code points the parser passes on unchanged (no replacement table, no error
// substitutions) and that are no white space, so no rule about spaces or line
// feeds sees them: what a numeric reference may name here, and what the text
// may hold beyond ASCII.
bool plainCodePoint(uint32_t c)
{
    if (c < 0x20 || (c >= 0x7F && c < 0xA0) || (c >= 0xD800 && c < 0xE000) || c > 0x10FFFF)
        return false;
    if (c >= 0xFDD0 && c <= 0xFDEF)
        return false;
    return (c & 0xFFFE) != 0xFFFE;
}

// Text the parser passes on unchanged: UTF-8 without the control characters
// and noncharacters it replaces by U+FFFD.
void requirePlainText(const char* text, size_t n)
{
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    const unsigned char* end = p + n;
    while (p < end) {
        const unsigned char c = *p;
        if (c < 0x80) {
            if ((c < 0x20 && c != '\t' && c != '\n' && c != '\f' && c != '\r') || c == 0x7F)
                decline("a control character");
            ++p;
            continue;
        }
        const Utf8::Sequence sequence = Utf8::decode(p, size_t(end - p));
        if (sequence.length == 0)
            decline("bytes that are not UTF-8");
        if (!plainCodePoint(sequence.codePoint))
            decline("a control character");
        p += sequence.length;
    }
}

// The text collector of InnerText, written as it goes: what it has written can
// no longer change, so the first words are known as soon as they are written.
class Lines
{
public:
    std::string text; // "\n" line breaks

    void chars(const char* p, size_t n, WhiteSpace whiteSpace)
    {
        const bool keepSpaces = whiteSpace == WhiteSpace::Pre ||
                                whiteSpace == WhiteSpace::PreWrap ||
                                whiteSpace == WhiteSpace::BreakSpaces;
        const bool keepBreaks = keepSpaces || whiteSpace == WhiteSpace::PreLine;
        size_t i = 0;
        while (i < n) {
            const char c = p[i];
            if (c == '\n' && keepBreaks) {
                forcedBreak();
                ++i;
                continue;
            }
            const bool space = c == ' ' || c == '\t' || c == '\n' || c == '\r';
            if (space && !keepSpaces) {
                if (!m_lineStart)
                    m_pendingSpace = true;
                ++i;
                continue;
            }
            size_t j = i + 1;
            while (j < n) {
                const char d = p[j];
                if (d == '\n' || (!keepSpaces && (d == ' ' || d == '\t' || d == '\r')))
                    break;
                ++j;
            }
            spaceBefore();
            put(p + i, j - i);
            m_lineStart = false;
            i = j;
        }
    }

    void atomic()
    {
        spaceBefore();
        m_lineStart = false;
    }

    void boundary()
    {
        m_pendingSpace = false;
        m_lineStart = true;
    }

    void forcedBreak()
    {
        m_pendingSpace = false;
        put("\n", 1);
        m_lineStart = true;
    }

    void requiredBreaks(int count) { m_breaks = std::max(m_breaks, count); }

private:
    void put(const char* p, size_t n)
    {
        if (m_any && m_breaks)
            text.append(size_t(m_breaks), '\n');
        m_breaks = 0;
        text.append(p, n);
        m_any = true;
    }

    void spaceBefore()
    {
        if (m_pendingSpace)
            put(" ", 1);
        m_pendingSpace = false;
    }

    int m_breaks = 0;
    bool m_any = false;
    bool m_pendingSpace = false;
    bool m_lineStart = true;
};

// One open element: its stand-in node for the style rules, its style, and
// what its end writes.
struct Entry
{
    GumboTag tag = GUMBO_TAG_UNKNOWN;
    std::string name; // lower case
    GumboNode node{};
    const GumboNode* self = nullptr;
    std::vector<GumboAttribute> attributes;
    std::vector<void*> attributePointers;
    std::string attributeText; // name NUL value NUL ...
    std::vector<std::pair<size_t, size_t>> attributeAt;
    Style style;
    bool muted = false;         // neither it nor its content writes anything
    bool contentMuted = false;  // its content writes nothing (replaced elements)
    bool sheetsIgnored = false; // style sheets here do not apply (noscript, template)
    bool foreign = false;       // an element of a drawing
    bool drawing = false;       // the svg element that starts a drawing
    bool closedDetails = false;
    bool summarySeen = false;
    bool box = false;
    bool container = false;
    bool atomicBox = false;
    bool paragraph = false;
    bool blockLevel = false;

    bool writes() const { return !muted && !contentMuted && !closedDetails; }

    bool has(const char* attribute) const
    {
        return gumbo_get_attribute(&node.v.element.attributes, attribute) != nullptr;
    }
};

struct GumboOutputDeleter
{
    void operator()(GumboOutput* output) const
    {
        gumbo_destroy_output(&kGumboDefaultOptions, output);
    }
};

const GumboNode* child(const GumboVector& children, GumboTag tag)
{
    for (unsigned i = 0; i < children.length; ++i) {
        const GumboNode* n = static_cast<const GumboNode*>(children.data[i]);
        if (isHtml(n, tag))
            return n;
    }
    return nullptr;
}

// Where the content of a page without head or body tags begins: after white
// space, comments and a doctype, at text or at a start tag that the parser
// puts into a body it makes up; npos for other pages.
size_t impliedBodyAt(std::string_view html)
{
    size_t pos = 0;
    bool doctype = false;
    for (;;) {
        while (pos < html.size() && MarkupScan::isAsciiSpace(html[pos]))
            ++pos;
        if (pos >= html.size())
            return npos;
        const MarkupScan::Tag tag = MarkupScan::tagAt(html, pos);
        if (tag.begin == npos)
            return pos; // text
        if (!tag.complete || tag.kind == MarkupScan::Tag::End)
            return npos;
        if (tag.kind == MarkupScan::Tag::Comment) {
            pos = tag.end;
            continue;
        }
        if (tag.kind == MarkupScan::Tag::Other) {
            if (doctype || !MarkupScan::startsWithNoCase(html, pos, "<!doctype"))
                return npos;
            doctype = true;
            pos = tag.end;
            continue;
        }
        const std::string name = asciiLower(tag.name);
        switch (TagSets::tagOf(name)) {
        case GUMBO_TAG_HTML:
        case GUMBO_TAG_HEAD:
        case GUMBO_TAG_BODY:
        case GUMBO_TAG_FRAMESET:
        case GUMBO_TAG_BASE:
        case GUMBO_TAG_BASEFONT:
        case GUMBO_TAG_BGSOUND:
        case GUMBO_TAG_LINK:
        case GUMBO_TAG_META:
        case GUMBO_TAG_NOFRAMES:
        case GUMBO_TAG_NOSCRIPT:
        case GUMBO_TAG_SCRIPT:
        case GUMBO_TAG_STYLE:
        case GUMBO_TAG_TEMPLATE:
        case GUMBO_TAG_TITLE:
            return npos; // the head's
        default:
            return pos;
        }
    }
}

class Reader
{
public:
    explicit Reader(int wordsWanted) : m_words(wordsWanted) {}

    std::string read(std::string_view html);

    // Where in the page the markup being read begins.
    size_t at() const { return m_s.data() - m_page.data() + m_tokenAt; }

private:
    Entry& top() { return *m_stack[m_depth - 1]; }
    Entry& slot(size_t index);
    void text(const char* p, size_t n);
    void decodeText(size_t amp);
    size_t charRef(size_t amp, std::string& out) const;
    size_t tagName(size_t at, std::string& name) const;
    size_t attributes(size_t pos, Entry* into, bool& selfClosing);
    void keepAttribute(Entry& e, std::string_view name, std::string_view value);
    void finishAttributes(Entry& e);
    size_t markup(size_t lt);
    size_t startTag(size_t lt);
    size_t graphicsTag(size_t lt, size_t nameEnd, std::string name);
    size_t endTag(size_t lt);
    size_t rawText(size_t from, Entry& e);
    bool paragraphInScope() const;
    void closeP();
    void closeListItem(GumboTag tag);
    void open(Entry& e, const Entry& parent);
    void openBox(Entry& e);
    void closeBox(const Entry& e);
    void push();
    void pop();
    bool wordsKnown(size_t pos);

    std::string_view m_page;
    std::string_view m_s;
    size_t m_tokenAt = 0;
    int m_words;
    size_t m_nextWordCheck = kWordCheckStep;
    bool m_reachBack = false;
    const StyleRules* m_rules = nullptr;
    std::unique_ptr<InnerText> m_inner;
    bool m_allAttributes = false;
    std::vector<std::unique_ptr<Entry>> m_stack;
    size_t m_depth = 0;
    std::array<int, GUMBO_TAG_LAST + 1> m_open{};
    bool m_afterBody = false;
    bool m_ignoreLineFeed = false;
    Lines m_out;
    std::string m_decoded;
};

Entry& Reader::slot(size_t index)
{
    while (m_stack.size() <= index)
        m_stack.push_back(std::make_unique<Entry>());
    return *m_stack[index];
}

std::string Reader::read(std::string_view html)
{
    m_page = m_s = html;
    // The markup up to the body's content, for the parser below.
    std::string start;
    size_t pos = 0;
    if (const std::optional<HeadCut> cut = headCut(html)) {
        m_s = html.substr(cut->bodyAt);
        const MarkupScan::Tag bodyTag = MarkupScan::tagAt(m_s, 0);
        if (bodyTag.kind != MarkupScan::Tag::Start || !bodyTag.complete ||
            !MarkupScan::sameNoCase(bodyTag.name, "body"))
            decline("no body tag");
        // The condensed head and the body tag: a few hundred bytes.
        start = cut->kept;
        start.append(m_s.substr(0, bodyTag.end));
        pos = bodyTag.end;
    } else {
        const size_t at = impliedBodyAt(html);
        if (at == npos)
            decline("a head with more than meta, link, script, title and style");
        m_s = html.substr(at);
    }
    // The html and body elements and the head's style sheets, as the parser
    // reads them.
    const std::unique_ptr<GumboOutput, GumboOutputDeleter> parsed(
        gumbo_parse_with_options(&kGumboDefaultOptions, start.data(), start.size()));
    const GumboNode* htmlNode = child(parsed->document->v.document.children, GUMBO_TAG_HTML);
    const GumboNode* bodyNode =
        htmlNode ? child(htmlNode->v.element.children, GUMBO_TAG_BODY) : nullptr;
    if (!bodyNode)
        decline("no body tag");
    const StyleRules rules = InnerText::pageStyleRules(parsed->document);
    m_rules = &rules;
    m_allAttributes = !rules.empty();
    m_inner = std::make_unique<InnerText>(rules);
    const Style htmlStyle = m_inner->styleOf(htmlNode, Style());
    Entry& body = slot(0);
    body.tag = GUMBO_TAG_BODY;
    body.name = "body";
    body.self = bodyNode;
    body.style = m_inner->styleOf(bodyNode, htmlStyle);
    if (htmlStyle.display == Display::None || body.style.display == Display::None)
        decline("a body that is not shown");
    if (body.style.display == Display::Table || body.style.display == Display::TableRowGroup ||
        body.style.display == Display::TableRow || body.style.display == Display::TableColumn)
        decline("a table");
    m_depth = 1;

    const size_t n = m_s.size();
    while (pos < n) {
        m_tokenAt = pos;
        if (m_ignoreLineFeed) {
            m_ignoreLineFeed = false;
            if (m_s[pos] == '\n') {
                ++pos;
                continue;
            }
        }
        size_t end = pos;
        while (end < n) {
            const char c = m_s[end];
            if (c == '<' || c == '&' || c == '\0' || c == '\r')
                break;
            ++end;
        }
        if (end > pos) {
            text(m_s.data() + pos, end - pos);
            pos = end;
            if (wordsKnown(pos))
                break;
            continue;
        }
        const char c = m_s[pos];
        if (c == '\0')
            decline("a NUL byte");
        if (c == '\r')
            decline("a carriage return");
        if (c == '&') {
            m_decoded.clear();
            pos = charRef(pos, m_decoded);
            text(m_decoded.data(), m_decoded.size());
        } else {
            pos = markup(pos);
        }
        if (wordsKnown(pos))
            break;
    }
    return withCrLf(std::move(m_out.text));
}

// With words wanted, true once they are written well before the end of the
// text so far, and nothing further on can change that text.
bool Reader::wordsKnown(size_t pos)
{
    if (m_words <= 0 || m_reachBack || m_out.text.size() < m_nextWordCheck)
        return false;
    m_nextWordCheck = m_out.text.size() + kWordCheckStep;
    if (!wordsWellBeforeEnd(m_out.text, m_words))
        return false;
    m_reachBack = restCanReachBack(m_s.substr(pos));
    return !m_reachBack;
}

void Reader::text(const char* p, size_t n)
{
    if (m_afterBody) {
        for (size_t i = 0; i < n; ++i)
            if (!isTagSpace(p[i]))
                decline("text after the body");
    }
    Entry& e = top();
    if (!e.writes())
        return;
    if (!e.style.visible) {
        // Hidden text still takes its place on the line.
        for (size_t i = 0; i < n; ++i)
            if (!MarkupScan::isAsciiSpace(p[i])) {
                m_out.atomic();
                break;
            }
        return;
    }
    if (e.style.transform != InnerText::Transform::None)
        decline("text-transform");
    requirePlainText(p, n);
    m_out.chars(p, n, e.style.whiteSpace);
}

// Appends the characters of the reference at `amp` ('&') to `out`; returns
// where the reference ends.
size_t Reader::charRef(size_t amp, std::string& out) const
{
    const size_t n = m_s.size();
    size_t i = amp + 1;
    if (i < n && m_s[i] == '#') {
        ++i;
        const bool hex = i < n && (m_s[i] == 'x' || m_s[i] == 'X');
        if (hex)
            ++i;
        const size_t digits = i;
        uint32_t code = 0;
        while (i < n && i - digits < 8) {
            const char c = m_s[i];
            uint32_t v;
            if (c >= '0' && c <= '9')
                v = uint32_t(c - '0');
            else if (hex && c >= 'a' && c <= 'f')
                v = uint32_t(c - 'a' + 10);
            else if (hex && c >= 'A' && c <= 'F')
                v = uint32_t(c - 'A' + 10);
            else
                break;
            code = code * (hex ? 16 : 10) + v;
            ++i;
        }
        if (i == digits || i >= n || m_s[i] != ';' || !plainCodePoint(code))
            decline("a numeric character reference");
        Utf8::append(out, code);
        return i + 1;
    }
    if (i < n && isAsciiAlnum(m_s[i])) {
        for (const Named& named : kNamed)
            if (m_s.compare(i, named.name.size(), named.name) == 0) {
                out += named.utf8;
                return i + named.name.size();
            }
        decline("a named character reference");
    }
    out += '&'; // not a reference
    return amp + 1;
}

// The lower-case name of the tag whose name starts at `at`; returns where it ends.
size_t Reader::tagName(size_t at, std::string& name) const
{
    name.clear();
    size_t i = at;
    while (i < m_s.size()) {
        const char c = m_s[i];
        if (isTagSpace(c) || c == '/' || c == '>')
            break;
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u >= 0x7F)
            decline("a tag name with control or non-ASCII characters");
        name += MarkupScan::lowerChar(c);
        ++i;
    }
    return i;
}

// Reads the attributes from `pos` to the end of the tag; returns just after
// its '>'. Keeps in `into` those the styles may read.
size_t Reader::attributes(size_t pos, Entry* into, bool& selfClosing)
{
    const std::string_view s = m_s;
    const size_t n = s.size();
    selfClosing = false;
    for (;;) {
        while (pos < n && isTagSpace(s[pos]))
            ++pos;
        if (pos >= n)
            decline("markup cut off by the end");
        if (s[pos] == '>')
            return pos + 1;
        if (s[pos] == '/') {
            ++pos;
            if (pos < n && s[pos] == '>') {
                selfClosing = true;
                return pos + 1;
            }
            continue;
        }
        const size_t nameStart = pos++; // even '=' starts a name here
        while (pos < n && !isTagSpace(s[pos]) && s[pos] != '/' && s[pos] != '>' && s[pos] != '=')
            ++pos;
        const std::string_view name = s.substr(nameStart, pos - nameStart);
        while (pos < n && isTagSpace(s[pos]))
            ++pos;
        if (pos >= n)
            decline("markup cut off by the end");
        if (s[pos] != '=') {
            if (into)
                keepAttribute(*into, name, {});
            continue;
        }
        ++pos;
        while (pos < n && isTagSpace(s[pos]))
            ++pos;
        if (pos >= n)
            decline("markup cut off by the end");
        std::string_view value;
        const char q = s[pos];
        if (q == '"' || q == '\'') {
            const size_t close = s.find(q, pos + 1);
            if (close == npos)
                decline("markup cut off by the end");
            value = s.substr(pos + 1, close - pos - 1);
            pos = close + 1;
        } else if (q != '>') {
            const size_t start = pos;
            while (pos < n && !isTagSpace(s[pos]) && s[pos] != '>')
                ++pos;
            value = s.substr(start, pos - start);
        }
        if (into)
            keepAttribute(*into, name, value);
    }
}

void Reader::keepAttribute(Entry& e, std::string_view name, std::string_view value)
{
    std::string lower;
    lower.reserve(name.size());
    for (const char c : name) {
        if (c == '\0')
            decline("a NUL byte");
        lower += MarkupScan::lowerChar(c);
    }
    if (!m_allAttributes && lower != "hidden" && lower != "style" && lower != "type" &&
        lower != "lang" && lower != "open" && lower != "controls")
        return;
    requirePlainText(lower.data(), lower.size());
    // The first of two attributes of one name counts.
    for (const auto& [at, valueAt] : e.attributeAt)
        if (std::strcmp(e.attributeText.c_str() + at, lower.c_str()) == 0)
            return;
    const size_t at = e.attributeText.size();
    e.attributeText += lower;
    e.attributeText += '\0';
    const size_t valueAt = e.attributeText.size();
    size_t i = 0;
    while (i < value.size()) {
        const char c = value[i];
        if (c == '\0' || c == '\r')
            decline("a NUL byte or carriage return in an attribute");
        if (c == '&') {
            const size_t amp = size_t(value.data() - m_s.data()) + i;
            const size_t end = charRef(amp, e.attributeText);
            i += end - amp;
            continue;
        }
        e.attributeText += c;
        ++i;
    }
    requirePlainText(e.attributeText.data() + valueAt, e.attributeText.size() - valueAt);
    e.attributeText += '\0';
    e.attributeAt.emplace_back(at, valueAt);
}

void Reader::finishAttributes(Entry& e)
{
    e.attributes.assign(e.attributeAt.size(), GumboAttribute{});
    e.attributePointers.resize(e.attributeAt.size());
    for (size_t i = 0; i < e.attributeAt.size(); ++i) {
        GumboAttribute& a = e.attributes[i];
        a.attr_namespace = GUMBO_ATTR_NAMESPACE_NONE;
        a.name = e.attributeText.c_str() + e.attributeAt[i].first;
        a.value = e.attributeText.c_str() + e.attributeAt[i].second;
        e.attributePointers[i] = &a;
    }
    GumboVector& v = e.node.v.element.attributes;
    v.data = e.attributePointers.data();
    v.length = unsigned(e.attributePointers.size());
    v.capacity = v.length;
}

// Comments, declarations and tags at `lt` ('<'); returns where they end.
size_t Reader::markup(size_t lt)
{
    const std::string_view s = m_s;
    const size_t n = s.size();
    if (lt + 1 >= n) {
        text("<", 1);
        return lt + 1;
    }
    const char next = s[lt + 1];
    if (next == '!' || next == '?') {
        if (MarkupScan::startsWithNoCase(s, lt, "<!doctype") ||
            MarkupScan::startsWithNoCase(s, lt, "<![cdata["))
            decline("a doctype or CDATA in the body");
        const MarkupScan::Tag tag = MarkupScan::tagAt(s, lt);
        if (!tag.complete)
            decline("markup cut off by the end");
        return tag.end; // comment
    }
    if (next == '/') {
        if (lt + 2 >= n) {
            text("</", 2);
            return n;
        }
        if (MarkupScan::isAsciiLetter(s[lt + 2]))
            return endTag(lt);
        const MarkupScan::Tag tag = MarkupScan::tagAt(s, lt);
        if (!tag.complete)
            decline("markup cut off by the end");
        return tag.end; // "</>" and bogus comments
    }
    if (MarkupScan::isAsciiLetter(next))
        return startTag(lt);
    text("<", 1);
    return lt + 1;
}

size_t Reader::endTag(size_t lt)
{
    std::string name;
    const size_t nameEnd = tagName(lt + 2, name);
    bool selfClosing = false;
    const size_t end = attributes(nameEnd, nullptr, selfClosing);
    if (m_afterBody) {
        if (name != "html")
            decline("markup after the body");
        return end;
    }
    if (top().foreign) {
        if (top().name != name)
            decline("an end tag that does not close the current element");
        pop();
        return end;
    }
    if (name == "body" || name == "html") {
        if (m_depth != 1)
            decline("elements left open at the body's end");
        m_afterBody = true;
        return end;
    }
    // These end tags close the paragraphs and list items left open inside.
    if (tags().closesImpliedEnds[TagSets::tagOf(name)]) {
        while (m_depth > 1 && top().name != name && endsImplied(top().tag))
            pop();
    }
    if (m_depth <= 1 || top().name != name)
        decline("an end tag that does not close the current element");
    pop();
    return end;
}

size_t Reader::startTag(size_t lt)
{
    if (m_afterBody)
        decline("markup after the body");
    std::string name;
    const size_t nameEnd = tagName(lt + 1, name);
    if (top().foreign)
        return graphicsTag(lt, nameEnd, std::move(name));
    const GumboTag tag = TagSets::tagOf(name);
    const Rule rule = ruleOf(tag, name);
    switch (rule) {
    case Rule::Decline:
        decline("an element the parser moves things around for");
    case Rule::Ordinary:
        // Later versions of the parsing rules close a paragraph for some of these.
        if (paragraphInScope())
            decline("an element of uncertain kind in a paragraph");
        break;
    case Rule::ClosesP:
    case Rule::Pre:
    case Rule::VoidClosesP:
        closeP();
        break;
    case Rule::Heading:
        closeP();
        if (isHeading(top().tag))
            decline("a heading in a heading");
        break;
    case Rule::ListItem:
        closeListItem(tag);
        closeP();
        break;
    case Rule::Button:
        if (m_open[GUMBO_TAG_BUTTON])
            decline("a button in a button");
        break;
    case Rule::Anchor:
        if (m_open[GUMBO_TAG_A])
            decline("a link in a link");
        break;
    case Rule::Nobr:
        if (m_open[GUMBO_TAG_NOBR])
            decline("a nobr in a nobr");
        break;
    case Rule::Form:
        if (m_open[GUMBO_TAG_FORM])
            decline("a form in a form");
        closeP();
        break;
    case Rule::Template:
    case Rule::Svg:
    case Rule::Phrasing:
    case Rule::Void:
    case Rule::RawText:
    case Rule::ReplacedRaw:
        break;
    }
    if (m_depth >= kMaxDepth)
        decline("markup nested too deep");

    Entry& parent = top();
    Entry& e = slot(m_depth);
    e.tag = tag;
    e.name = std::move(name);
    e.muted = parent.muted || parent.contentMuted;
    if (!e.muted && parent.closedDetails) {
        // A closed disclosure shows its first summary only.
        if (tag == GUMBO_TAG_SUMMARY && !parent.summarySeen)
            parent.summarySeen = true;
        else
            e.muted = true;
    }
    e.foreign = e.drawing = rule == Rule::Svg;
    e.attributeText.clear();
    e.attributeAt.clear();
    bool selfClosing = false;
    const size_t end = attributes(nameEnd, e.muted ? nullptr : &e, selfClosing);
    if (!e.muted) {
        GumboNode& node = e.node;
        node.type = GUMBO_NODE_ELEMENT;
        node.parent = const_cast<GumboNode*>(parent.self);
        node.v.element.tag = tag;
        node.v.element.tag_namespace =
            rule == Rule::Svg ? GUMBO_NAMESPACE_SVG : GUMBO_NAMESPACE_HTML;
        node.v.element.original_tag = {m_s.data() + lt, end - lt};
        node.v.element.children = kGumboEmptyVector;
        finishAttributes(e);
        e.self = &e.node;
    }
    open(e, parent);

    switch (rule) {
    case Rule::Void:
    case Rule::VoidClosesP:
        closeBox(e);
        return end;
    case Rule::RawText:
    case Rule::ReplacedRaw:
        return rawText(end, e);
    case Rule::Pre:
        m_ignoreLineFeed = true;
        break;
    case Rule::Svg:
        if (selfClosing) {
            closeBox(e);
            return end;
        }
        break;
    default:
        break;
    }
    // The parser ignores a self-closing mark on HTML elements that are not void.
    push();
    return end;
}

// A start tag inside a drawing: elements that hold no text are pushed (or
// closed at once when self-closing); others decline.
size_t Reader::graphicsTag(size_t lt, size_t nameEnd, std::string name)
{
    (void)lt;
    if (!isPlainGraphics(name))
        decline("a drawing element that may hold text or HTML");
    if (m_depth >= kMaxDepth)
        decline("markup nested too deep");
    Entry& parent = top();
    Entry& e = slot(m_depth);
    e.tag = TagSets::tagOf(name);
    e.name = std::move(name);
    e.muted = true;
    e.foreign = true;
    e.drawing = false;
    e.sheetsIgnored = parent.sheetsIgnored;
    e.box = false;
    e.contentMuted = e.closedDetails = e.summarySeen = false;
    bool selfClosing = false;
    const size_t end = attributes(nameEnd, nullptr, selfClosing);
    if (!selfClosing)
        push();
    return end;
}

// The content of a raw-text element and its end tag; returns where they end.
size_t Reader::rawText(size_t from, Entry& e)
{
    const size_t close = MarkupScan::rawTextEnd(m_s, from, e.name);
    if (close == npos)
        decline("raw text cut off by the end");
    const std::string_view content = m_s.substr(from, close - from);
    if (e.tag == GUMBO_TAG_SCRIPT && content.find("<!--") != npos)
        decline("a script with escaped text");
    if (e.tag == GUMBO_TAG_STYLE && !e.sheetsIgnored) {
        if (content.find('\0') != npos)
            decline("a NUL byte");
        StyleRules sheet;
        sheet.addSheet(content);
        if (!sheet.empty())
            decline("style rules in the body");
    }
    if (!e.muted && !e.contentMuted && e.tag != GUMBO_TAG_IFRAME && e.tag != GUMBO_TAG_TEXTAREA)
        decline("raw text that is shown");
    std::string name;
    const size_t nameEnd = tagName(close + 2, name);
    bool selfClosing = false;
    const size_t end = attributes(nameEnd, nullptr, selfClosing);
    closeBox(e);
    return end;
}

// A paragraph the parser would close: one not separated from here by a button.
bool Reader::paragraphInScope() const
{
    if (!m_open[GUMBO_TAG_P])
        return false;
    for (size_t i = m_depth; i-- > 1;) {
        const GumboTag tag = m_stack[i]->tag;
        if (tag == GUMBO_TAG_BUTTON)
            return false;
        if (tag == GUMBO_TAG_P)
            return true;
    }
    return false;
}

// Closes an open paragraph, where the parser would; it must be the current element.
void Reader::closeP()
{
    if (!paragraphInScope())
        return;
    if (top().tag != GUMBO_TAG_P)
        decline("a paragraph closed around open elements");
    pop();
}

void Reader::closeListItem(GumboTag tag)
{
    const bool item = tag == GUMBO_TAG_LI;
    for (size_t i = m_depth; i-- > 1;) {
        const GumboTag open = m_stack[i]->tag;
        if (item ? open == GUMBO_TAG_LI : (open == GUMBO_TAG_DD || open == GUMBO_TAG_DT)) {
            if (i != m_depth - 1)
                decline("a list item closed around open elements");
            pop();
            return;
        }
        if (tags().stopsListSearch[open])
            return;
    }
}

void Reader::open(Entry& e, const Entry& parent)
{
    e.sheetsIgnored =
        parent.sheetsIgnored || e.tag == GUMBO_TAG_NOSCRIPT || e.tag == GUMBO_TAG_TEMPLATE;
    e.contentMuted = false;
    e.closedDetails = false;
    e.summarySeen = false;
    e.box = false;
    // Scripting counts as on; templates are never shown.
    if (e.tag == GUMBO_TAG_NOSCRIPT || e.tag == GUMBO_TAG_TEMPLATE)
        e.muted = true;
    if (e.muted)
        return;
    e.style = m_inner->styleOf(e.self, parent.style);
    if (e.style.display == Display::None) {
        e.muted = true;
        return;
    }
    if (e.drawing) {
        // One box on the line; its content writes nothing.
        m_out.atomic();
        m_out.boundary();
        e.contentMuted = true;
        return;
    }
    if (e.style.outOfFlow)
        decline("a floated or positioned box");
    switch (e.style.display) {
    case Display::Table:
    case Display::TableRowGroup:
    case Display::TableRow:
    case Display::TableCell:
    case Display::TableColumn:
        decline("a table");
    default:
        break;
    }
    openBox(e);
    e.closedDetails = e.tag == GUMBO_TAG_DETAILS && !e.has("open");
}

// What InnerText writes where an element begins.
void Reader::openBox(Entry& e)
{
    const Style& s = e.style;
    const bool visible = s.visible;
    const bool blockLevel = InnerText::isBlockLevel(s.display);
    if (TagSets::isReplaced(e.tag)) {
        if (blockLevel) {
            if (visible)
                m_out.requiredBreaks(1);
            m_out.boundary();
            if (visible)
                m_out.requiredBreaks(1);
        } else {
            m_out.atomic();
        }
        e.contentMuted = true;
        return;
    }
    if (e.tag == GUMBO_TAG_BR) {
        if (visible)
            m_out.forcedBreak();
        else
            m_out.boundary();
        return;
    }
    if (s.display == Display::Contents)
        return;
    e.box = true;
    e.blockLevel = blockLevel;
    e.atomicBox = InnerText::isAtomicInline(s.display);
    e.container = blockLevel || e.atomicBox;
    e.paragraph = e.tag == GUMBO_TAG_P;
    if (visible && e.paragraph)
        m_out.requiredBreaks(2);
    if (visible && blockLevel)
        m_out.requiredBreaks(1);
    if (e.atomicBox)
        m_out.atomic();
    if (e.container)
        m_out.boundary();
}

// What InnerText writes where an element ends.
void Reader::closeBox(const Entry& e)
{
    if (e.drawing && !e.muted) {
        m_out.boundary();
        m_out.atomic();
        return;
    }
    if (e.muted || !e.box)
        return;
    const bool visible = e.style.visible;
    if (e.container)
        m_out.boundary();
    if (e.atomicBox)
        m_out.atomic();
    if (visible && e.paragraph)
        m_out.requiredBreaks(2);
    if (visible && e.blockLevel)
        m_out.requiredBreaks(1);
}

void Reader::push()
{
    Entry& e = *m_stack[m_depth];
    ++m_open[e.tag];
    ++m_depth;
}

void Reader::pop()
{
    Entry& e = top();
    closeBox(e);
    --m_open[e.tag];
    --m_depth;
}

} // namespace

namespace FastText {

Result read(std::string_view html, int wordsWanted)
{
    Result result;
    Reader reader(wordsWanted);
    try {
        result.text = reader.read(html);
        result.taken = true;
    } catch (const Declined& d) {
        result.declined = d.reason;
        result.declinedAt = reader.at();
    }
    return result;
}

std::string bodyText(std::string_view html, int wordsWanted, PageParser& parser)
{
    Result fast = read(html, wordsWanted);
    if (fast.taken)
        return std::move(fast.text);
    return parser.bodyText(html, wordsWanted, true);
}

} // namespace FastText
