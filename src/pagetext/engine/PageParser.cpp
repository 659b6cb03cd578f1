#include "pagetext/engine/PageParser.h"

#include "pagetext/engine/Element.h"
#include "pagetext/engine/InnerText.h"
#include "pagetext/engine/MarkupScan.h"
#include "pagetext/engine/NestingGuard.h"
#include "pagetext/engine/PageHead.h"
#include "pagetext/engine/PageWords.h"
#include "pagetext/engine/TagSets.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t kChunk = size_t(4) << 20;
constexpr size_t kFirstPrefix = 2048;

const GumboNode* child(const GumboVector& children, GumboTag tag)
{
    for (unsigned i = 0; i < children.length; ++i) {
        const GumboNode* n = static_cast<const GumboNode*>(children.data[i]);
        if (isHtml(n, tag))
            return n;
    }
    return nullptr;
}

const GumboNode* findBody(const GumboOutput* output)
{
    const GumboNode* html = child(output->document->v.document.children, GUMBO_TAG_HTML);
    return html ? child(html->v.element.children, GUMBO_TAG_BODY) : nullptr;
}

// A table still open where the prefix ends may yet receive text from further
// on that the parser moves in front of it.
bool hasOpenTable(const GumboNode* root)
{
    std::vector<const GumboNode*> stack{root};
    while (!stack.empty()) {
        const GumboNode* node = stack.back();
        stack.pop_back();
        if (node->type != GUMBO_NODE_ELEMENT)
            continue;
        const GumboElement& e = node->v.element;
        if (e.tag == GUMBO_TAG_TABLE && e.tag_namespace == GUMBO_NAMESPACE_HTML &&
            e.original_end_tag.length == 0)
            return true;
        for (unsigned i = 0; i < e.children.length; ++i)
            stack.push_back(static_cast<const GumboNode*>(e.children.data[i]));
    }
    return false;
}

// The places where a prefix of the page may be cut: just after a tag, a
// comment or a declaration, never inside one or inside raw text. Read forward
// once for all the prefixes tried.
class CutPoints
{
public:
    explicit CutPoints(std::string_view html) : m_html(html) {}

    // The last cut point at or before `limit`; npos when there is none.
    size_t before(size_t limit)
    {
        using namespace MarkupScan;
        while (m_pos < limit) {
            const Tag tag = nextTag(m_html, m_pos);
            if (tag.begin == npos || !tag.complete) {
                m_pos = m_html.size();
                break;
            }
            if (tag.end > limit) {
                m_pos = tag.begin;
                break;
            }
            m_last = tag.end;
            m_pos = tag.end;
            if (tag.kind != Tag::Start)
                continue;
            const GumboTag element = TagSets::tagOf(tag.name);
            if (element == GUMBO_TAG_PLAINTEXT) {
                m_pos = m_html.size();
            } else if (TagSets::isRawText(element)) {
                const size_t close = rawTextEnd(m_html, m_pos, asciiLower(tag.name));
                m_pos = close == npos ? m_html.size() : close;
            }
        }
        return m_last;
    }

private:
    std::string_view m_html;
    size_t m_pos = 0;
    size_t m_last = MarkupScan::npos;
};

} // namespace

void (*PageParser::outOfMemory)() = [] { std::abort(); };

// Markup further on that can change text before it: style sheets, and body or
// html tags whose attributes the parser adds to the elements already there.
bool restCanReachBack(std::string_view rest)
{
    size_t pos = 0;
    while (pos < rest.size()) {
        const void* hit = std::memchr(rest.data() + pos, '<', rest.size() - pos);
        if (!hit)
            return false;
        const size_t at = size_t(static_cast<const char*>(hit) - rest.data()) + 1;
        pos = at;
        const bool endTag = at < rest.size() && rest[at] == '/';
        const size_t name = endTag ? at + 1 : at;
        // A style element's end tag counts too: the cut may fall inside its rules.
        if (MarkupScan::startsWithNoCase(rest, name, "style") ||
            (!endTag && (MarkupScan::startsWithNoCase(rest, name, "body") ||
                         MarkupScan::startsWithNoCase(rest, name, "html"))))
            return true;
    }
    return false;
}

std::string withCrLf(std::string text)
{
    size_t breaks = 0;
    for (const char c : text)
        breaks += c == '\n';
    if (!breaks)
        return text;
    std::string out;
    out.reserve(text.size() + breaks);
    for (const char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

bool wordsWellBeforeEnd(std::string_view text, int words)
{
    // Blanks and line breaks both separate words here; trim leading ones.
    size_t pos = 0;
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\n'))
        ++pos;
    for (int w = 0; w < words; ++w) {
        while (pos < text.size() && text[pos] != ' ' && text[pos] != '\n')
            ++pos;
        if (pos >= text.size())
            return false;
        ++pos; // the separator after word w + 1; an empty word is a word too
    }
    return pos + 64 <= text.size() && pos * 2 <= text.size();
}

PageParser::PageParser() = default;

PageParser::~PageParser()
{
    for (char* chunk : m_chunks)
        std::free(chunk);
}

void* PageParser::allocate(void* self, size_t size)
{
    PageParser& p = *static_cast<PageParser*>(self);
    size = (size + 15) & ~size_t(15);
    if (size > p.m_left) {
        const size_t bytes = std::max(kChunk, size);
        char* chunk = static_cast<char*>(std::malloc(bytes));
        if (!chunk)
            outOfMemory();
        p.m_chunks.push_back(chunk);
        p.m_next = chunk;
        p.m_left = bytes;
    }
    void* out = p.m_next;
    p.m_next += size;
    p.m_left -= size;
    return out;
}

void PageParser::reset()
{
    // Keep the first chunk for the next page; small pages then need no new memory.
    for (size_t i = 1; i < m_chunks.size(); ++i)
        std::free(m_chunks[i]);
    if (m_chunks.size() > 1)
        m_chunks.resize(1);
    m_next = m_chunks.empty() ? nullptr : m_chunks.front();
    m_left = m_chunks.empty() ? 0 : kChunk;
}

GumboOutput* PageParser::parse(std::string_view html, bool fragment)
{
    reset();
    GumboOptions options = kGumboDefaultOptions;
    options.allocator = &PageParser::allocate;
    options.deallocator = &PageParser::deallocate;
    options.userdata = this;
    // With errors recorded the parser copies its stack of open elements for
    // each one: ruinous on badly nested pages, and the errors are not used.
    options.max_errors = 0;
    if (fragment) {
        options.fragment_context = GUMBO_TAG_DIV;
        options.fragment_namespace = GUMBO_NAMESPACE_HTML;
    }
    return gumbo_parse_with_options(&options, html.data(), html.size());
}

std::string PageParser::textOf(std::string_view html)
{
    GumboOutput* output = parse(html, false);
    const GumboNode* body = findBody(output);
    if (!body)
        throw PageError("The page has no body element.");
    const StyleRules rules = InnerText::pageStyleRules(output->document);
    return InnerText(rules).of(body);
}

std::string_view PageParser::assemble(std::string_view head, std::string_view rest, bool guard)
{
    m_page.assign(head);
    m_page.append(rest);
    if (guard) {
        bool changed = false;
        std::string flat = NestingGuard::flatten(m_page, changed);
        if (changed)
            m_page.swap(flat);
    }
    return m_page;
}

std::string PageParser::bodyText(std::string_view original, int wordsWanted, bool guard)
{
    // The head's clutter and the part of the page past the words wanted are
    // left out before anything is copied; the nesting guard reads left to
    // right, so flattening a prefix gives the prefix of the flattened page.
    const std::optional<HeadCut> cut = headCut(original);
    const std::string_view head = cut ? std::string_view(cut->kept) : std::string_view();
    const std::string_view rest = cut ? original.substr(cut->bodyAt) : original;
    if (wordsWanted > 0) {
        CutPoints cuts(rest);
        for (size_t size = kFirstPrefix; size < rest.size() / 2; size *= 2) {
            const size_t end = cuts.before(size);
            if (end == MarkupScan::npos)
                continue;
            if (restCanReachBack(rest.substr(end)))
                break;
            GumboOutput* output = parse(assemble(head, rest.substr(0, end), guard), false);
            const GumboNode* body = findBody(output);
            if (!body || hasOpenTable(output->root))
                continue;
            const StyleRules rules = InnerText::pageStyleRules(output->document);
            std::string text = InnerText(rules).of(body);
            if (wordsWellBeforeEnd(text, wordsWanted))
                return withCrLf(std::move(text));
        }
    }
    if (!cut && !guard)
        return withCrLf(textOf(original));
    return withCrLf(textOf(assemble(head, rest, guard)));
}

std::optional<std::string> PageParser::prefixText(std::string_view original, int wordsWanted,
                                                  bool guard, size_t firstTry)
{
    if (wordsWanted <= 0)
        return std::nullopt;
    const std::optional<HeadCut> cut = headCut(original);
    const std::string_view head = cut ? std::string_view(cut->kept) : std::string_view();
    const std::string_view rest = cut ? original.substr(cut->bodyAt) : original;
    CutPoints cuts(rest);
    bool reachesBack = false; // from within `html`: only all of it can tell
    for (size_t size = std::max<size_t>(firstTry, kFirstPrefix);; size *= 2) {
        const bool whole = size >= rest.size() || reachesBack;
        size_t end = rest.size();
        if (!whole) {
            end = cuts.before(size);
            if (end == MarkupScan::npos)
                continue;
            if (restCanReachBack(rest.substr(end))) {
                reachesBack = true;
                continue;
            }
        }
        GumboOutput* output = parse(assemble(head, rest.substr(0, end), guard), false);
        const GumboNode* body = findBody(output);
        if (body && !hasOpenTable(output->root)) {
            const StyleRules rules = InnerText::pageStyleRules(output->document);
            std::string text = withCrLf(InnerText(rules).of(body));
            if (PageWords::settled(text, wordsWanted))
                return text;
        }
        if (whole)
            return std::nullopt;
    }
}

std::string PageParser::fragmentText(std::string_view html)
{
    GumboOutput* output = parse(html, true);
    const GumboNode* root = output->root;
    const GumboNode* target = nullptr;
    const GumboNode* firstElement = nullptr;
    std::vector<const GumboNode*> stack{root};
    while (!stack.empty() && !target) {
        const GumboNode* node = stack.back();
        stack.pop_back();
        if (!isElement(node))
            continue;
        if (node != root) {
            const char* id = attributeValue(node, "id");
            if (id && std::strcmp(id, "target") == 0)
                target = node;
        }
        const GumboVector& children = node->v.element.children;
        for (unsigned i = children.length; i-- > 0;)
            stack.push_back(static_cast<const GumboNode*>(children.data[i]));
    }
    const GumboVector& top = root->v.element.children;
    for (unsigned i = 0; i < top.length && !firstElement; ++i)
        if (isElement(static_cast<const GumboNode*>(top.data[i])))
            firstElement = static_cast<const GumboNode*>(top.data[i]);
    if (!target)
        target = firstElement;
    if (!target)
        return {};
    const StyleRules rules = InnerText::pageStyleRules(output->document);
    return withCrLf(InnerText(rules).of(target));
}
