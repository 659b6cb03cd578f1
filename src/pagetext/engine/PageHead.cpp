#include "pagetext/engine/PageHead.h"

#include "pagetext/engine/MarkupScan.h"
#include "pagetext/engine/TagSets.h"

namespace {

using namespace MarkupScan;

// The tag at `pos` when the page holds all of it; comments in any of the forms
// the parser ends them.
std::optional<Tag> wholeTag(std::string_view h, size_t pos)
{
    const Tag tag = tagAt(h, pos);
    if (tag.begin == npos || !tag.complete)
        return std::nullopt;
    return tag;
}

size_t skipSpaces(std::string_view h, size_t pos)
{
    while (pos < h.size() && isAsciiSpace(h[pos]))
        ++pos;
    return pos;
}

} // namespace

std::optional<HeadCut> headCut(std::string_view h)
{
    std::string_view doctype, htmlTag;
    std::string styles;
    bool headSeen = false;
    size_t pos = 0;
    for (;;) {
        pos = skipSpaces(h, pos);
        const std::optional<Tag> tag = wholeTag(h, pos);
        if (!tag)
            return std::nullopt; // text (or no body tag) before the body
        if (tag->kind == Tag::Comment) {
            pos = tag->end;
            continue;
        }
        if (tag->kind == Tag::Other) {
            if (!startsWithNoCase(h, pos, "<!doctype") || !doctype.empty() || !htmlTag.empty() ||
                headSeen)
                return std::nullopt;
            doctype = h.substr(pos, tag->end - pos);
            pos = tag->end;
            continue;
        }
        const std::string name = asciiLower(tag->name);
        const size_t end = tag->end;
        if (tag->kind == Tag::End) {
            if (name != "head")
                return std::nullopt;
            pos = end;
            continue;
        }
        if (name == "body") {
            HeadCut cut;
            cut.kept.reserve(doctype.size() + htmlTag.size() + styles.size() + 16);
            cut.kept += doctype;
            cut.kept += htmlTag.empty() ? std::string_view("<html>") : htmlTag;
            cut.kept += "<head>";
            cut.kept += styles;
            cut.kept += "</head>";
            cut.bodyAt = pos;
            return cut;
        }
        if (name == "html") {
            if (!htmlTag.empty() || headSeen)
                return std::nullopt;
            htmlTag = h.substr(pos, end - pos);
        } else if (name == "head") {
            if (headSeen)
                return std::nullopt;
            headSeen = true;
        } else if (name == "title" || name == "style" || name == "script") {
            const size_t close = rawTextEnd(h, end, name);
            if (close == npos)
                return std::nullopt;
            // Script text with "<!--" has escaping rules of its own; not worth following.
            if (name == "script" && h.substr(end, close - end).find("<!--") != npos)
                return std::nullopt;
            const std::optional<Tag> closeTag = wholeTag(h, close);
            if (!closeTag)
                return std::nullopt;
            if (name == "style")
                styles += h.substr(pos, closeTag->end - pos);
            pos = closeTag->end;
            continue;
        } else if (name == "noscript") {
            // Parsed as markup, a noscript in the head may hold only these.
            pos = end;
            for (;;) {
                pos = skipSpaces(h, pos);
                const std::optional<Tag> inner = wholeTag(h, pos);
                if (!inner || inner->kind == Tag::Other)
                    return std::nullopt;
                pos = inner->end;
                if (inner->kind == Tag::Comment)
                    continue;
                const std::string innerName = asciiLower(inner->name);
                if (inner->kind == Tag::End) {
                    if (innerName != "noscript")
                        return std::nullopt;
                    break;
                }
                if (TagSets::isHeadVoid(innerName))
                    continue;
                if (innerName != "style")
                    return std::nullopt;
                // A style sheet in a noscript does not apply while scripting is on.
                const size_t styleClose = rawTextEnd(h, pos, innerName);
                const std::optional<Tag> styleEnd =
                    styleClose == npos ? std::nullopt : wholeTag(h, styleClose);
                if (!styleEnd)
                    return std::nullopt;
                pos = styleEnd->end;
            }
            continue;
        } else if (!TagSets::isHeadVoid(name)) {
            return std::nullopt;
        }
        pos = end;
    }
}
