#include "NestingGuard.h"

#include "Element.h"

#include <cstring>
#include <vector>

namespace NestingGuard {

namespace {

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool inList(const std::string& name, const char* const* list)
{
    for (; *list; ++list)
        if (name == *list)
            return true;
    return false;
}

const char* const kVoid[] = {"area",     "base",  "br",     "col",      "embed",   "hr",
                             "img",      "input", "link",   "meta",     "param",   "source",
                             "track",    "wbr",   "keygen", "basefont", "bgsound", "frame",
                             "menuitem", "image", nullptr};
const char* const kOptionalEnd[] = {
    "p",     "li", "dt", "dd",  "option", "optgroup", "tr",      "td",   "th",   "thead", "tbody",
    "tfoot", "rb", "rt", "rtc", "rp",     "colgroup", "caption", "html", "head", "body",  nullptr};
const char* const kRawText[] = {"script", "style",   "textarea", "title",    "xmp",
                                "iframe", "noembed", "noframes", "noscript", nullptr};

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
        if (html.size() - at >= needle.size() &&
            asciiLower(html.substr(at, needle.size())) == needle)
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
        std::string name;
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
        const std::string name = asciiLower(html.substr(nameStart, nameEnd - nameStart));
        const size_t end = tagEnd(html, nameEnd);
        if (endTag) {
            // A stray end tag is looked for near the top only, to stay linear.
            const size_t floor = open.size() > 1024 ? open.size() - 1024 : 0;
            for (size_t i = open.size(); i-- > floor;) {
                if (open[i].name != name)
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
        if (name == "plaintext")
            break;
        if (inList(name, kRawText)) {
            const size_t close = findNoCase(html, end, "</" + name);
            pos = close == std::string_view::npos ? html.size() : close;
            continue;
        }
        if (!selfClosing && !inList(name, kVoid) && !inList(name, kOptionalEnd)) {
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
