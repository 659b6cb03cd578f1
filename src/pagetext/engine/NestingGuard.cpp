#include "NestingGuard.h"

#include "Element.h"

#include <cstring>
#include <gumbo.h>
#include <vector>

namespace NestingGuard {

namespace {

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

enum class Kind {
    Counted,    // nests until its end tag
    NotCounted, // void, or its end tag may be left out
    RawText,    // content up to its end tag is not markup
    Plaintext,  // the rest of the page is text
};

Kind kindOf(std::string_view name)
{
    switch (gumbo_tagn_enum(name.data(), unsigned(name.size()))) {
    case GUMBO_TAG_AREA:
    case GUMBO_TAG_BASE:
    case GUMBO_TAG_BR:
    case GUMBO_TAG_COL:
    case GUMBO_TAG_EMBED:
    case GUMBO_TAG_HR:
    case GUMBO_TAG_IMG:
    case GUMBO_TAG_INPUT:
    case GUMBO_TAG_LINK:
    case GUMBO_TAG_META:
    case GUMBO_TAG_PARAM:
    case GUMBO_TAG_SOURCE:
    case GUMBO_TAG_TRACK:
    case GUMBO_TAG_WBR:
    case GUMBO_TAG_KEYGEN:
    case GUMBO_TAG_BASEFONT:
    case GUMBO_TAG_BGSOUND:
    case GUMBO_TAG_FRAME:
    case GUMBO_TAG_MENUITEM:
    case GUMBO_TAG_IMAGE:
    case GUMBO_TAG_P:
    case GUMBO_TAG_LI:
    case GUMBO_TAG_DT:
    case GUMBO_TAG_DD:
    case GUMBO_TAG_OPTION:
    case GUMBO_TAG_OPTGROUP:
    case GUMBO_TAG_TR:
    case GUMBO_TAG_TD:
    case GUMBO_TAG_TH:
    case GUMBO_TAG_THEAD:
    case GUMBO_TAG_TBODY:
    case GUMBO_TAG_TFOOT:
    case GUMBO_TAG_RB:
    case GUMBO_TAG_RT:
    case GUMBO_TAG_RTC:
    case GUMBO_TAG_RP:
    case GUMBO_TAG_COLGROUP:
    case GUMBO_TAG_CAPTION:
    case GUMBO_TAG_HTML:
    case GUMBO_TAG_HEAD:
    case GUMBO_TAG_BODY:
        return Kind::NotCounted;
    case GUMBO_TAG_SCRIPT:
    case GUMBO_TAG_STYLE:
    case GUMBO_TAG_TEXTAREA:
    case GUMBO_TAG_TITLE:
    case GUMBO_TAG_XMP:
    case GUMBO_TAG_IFRAME:
    case GUMBO_TAG_NOEMBED:
    case GUMBO_TAG_NOFRAMES:
    case GUMBO_TAG_NOSCRIPT:
        return Kind::RawText;
    case GUMBO_TAG_PLAINTEXT:
        return Kind::Plaintext;
    default:
        return Kind::Counted;
    }
}

bool sameNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = char(x + 32);
        if (y >= 'A' && y <= 'Z')
            y = char(y + 32);
        if (x != y)
            return false;
    }
    return true;
}

// Position just after the '>' that ends the tag whose name ends at `pos`.
size_t tagEnd(std::string_view html, size_t pos)
{
    char quote = 0;
    for (; pos < html.size(); ++pos) {
        const char c = html[pos];
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if ((c == '"' || c == '\'') && pos > 0 && html[pos - 1] == '=') {
            quote = c;
        } else if (c == '>') {
            return pos + 1;
        }
    }
    return html.size();
}

size_t findNoCase(std::string_view html, size_t from, std::string_view needle)
{
    while (from < html.size()) {
        const void* hit = std::memchr(html.data() + from, needle[0], html.size() - from);
        if (!hit)
            return std::string_view::npos;
        const size_t at = size_t(static_cast<const char*>(hit) - html.data());
        if (html.size() - at >= needle.size() && sameNoCase(html.substr(at, needle.size()), needle))
            return at;
        from = at + 1;
    }
    return std::string_view::npos;
}

} // namespace

std::string flatten(std::string_view html, bool& changed, int maxDepth)
{
    struct Open
    {
        std::string_view name; // as written in the page
        bool dropped;
    };
    std::vector<Open> open;
    int kept = 0;
    std::string out;
    size_t copied = 0; // html[copied..] not yet copied to out
    changed = false;
    auto drop = [&](size_t from, size_t to) {
        if (!changed) {
            out.reserve(html.size());
            changed = true;
        }
        out.append(html.substr(copied, from - copied));
        copied = to;
    };

    size_t pos = 0;
    while (pos < html.size()) {
        const void* hit = std::memchr(html.data() + pos, '<', html.size() - pos);
        if (!hit)
            break;
        const size_t lt = size_t(static_cast<const char*>(hit) - html.data());
        if (html.compare(lt, 4, "<!--") == 0) {
            const size_t end = html.find("-->", lt + 4);
            pos = end == std::string_view::npos ? html.size() : end + 3;
            continue;
        }
        if (lt + 1 >= html.size())
            break;
        const char next = html[lt + 1];
        if (next == '!' || next == '?') {
            const size_t end = html.find('>', lt + 1);
            pos = end == std::string_view::npos ? html.size() : end + 1;
            continue;
        }
        const bool endTag = next == '/';
        size_t nameStart = lt + (endTag ? 2 : 1);
        if (nameStart >= html.size() || !isLetter(html[nameStart])) {
            pos = lt + 1;
            continue;
        }
        size_t nameEnd = nameStart;
        while (nameEnd < html.size() && !isAsciiSpace(html[nameEnd]) && html[nameEnd] != '>' &&
               html[nameEnd] != '/')
            ++nameEnd;
        const std::string_view name = html.substr(nameStart, nameEnd - nameStart);
        const size_t end = tagEnd(html, nameEnd);
        if (endTag) {
            // A stray end tag is looked for near the top only, to stay linear.
            const size_t floor = open.size() > 1024 ? open.size() - 1024 : 0;
            for (size_t i = open.size(); i-- > floor;) {
                if (!sameNoCase(open[i].name, name))
                    continue;
                const bool dropped = open[i].dropped;
                for (size_t j = i; j < open.size(); ++j)
                    kept -= !open[j].dropped;
                open.resize(i);
                if (dropped)
                    drop(lt, end);
                break;
            }
            pos = end;
            continue;
        }
        const bool selfClosing = end >= 2 && html[end - 2] == '/';
        const Kind kind = kindOf(name);
        if (kind == Kind::Plaintext)
            break;
        if (kind == Kind::RawText) {
            const std::string close = "</" + asciiLower(name);
            const size_t at = findNoCase(html, end, close);
            pos = at == std::string_view::npos ? html.size() : at;
            continue;
        }
        if (!selfClosing && kind == Kind::Counted) {
            const bool tooDeep = kept >= maxDepth;
            open.push_back({name, tooDeep});
            if (tooDeep)
                drop(lt, end);
            else
                ++kept;
        }
        pos = end;
    }
    if (changed)
        out.append(html.substr(copied));
    return out;
}

} // namespace NestingGuard
