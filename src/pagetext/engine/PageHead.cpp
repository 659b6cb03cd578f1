#include "PageHead.h"

#include "Element.h"

namespace {

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool startsWithNoCase(std::string_view h, size_t at, std::string_view prefix)
{
    if (h.size() - at < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        char c = h[at + i];
        if (c >= 'A' && c <= 'Z')
            c = char(c + 32);
        if (c != prefix[i])
            return false;
    }
    return true;
}

// Position just after the '>' that ends a tag, reading its attributes as the
// tokenizer does (quoted values may hold '>'); npos when the page ends first.
size_t endOfTag(std::string_view h, size_t pos)
{
    enum {
        BeforeName,
        Name,
        AfterName,
        BeforeValue,
        Unquoted,
    } state = BeforeName;
    while (pos < h.size()) {
        const char c = h[pos];
        const bool space = isAsciiSpace(c);
        switch (state) {
        case BeforeName:
            if (c == '>')
                return pos + 1;
            if (!space && c != '/')
                state = Name;
            ++pos;
            break;
        case Name:
            if (c == '>')
                return pos + 1;
            if (space)
                state = AfterName;
            else if (c == '/')
                state = BeforeName;
            else if (c == '=')
                state = BeforeValue;
            ++pos;
            break;
        case AfterName:
            if (c == '>')
                return pos + 1;
            if (c == '/')
                state = BeforeName;
            else if (c == '=')
                state = BeforeValue;
            else if (!space)
                state = Name;
            ++pos;
            break;
        case BeforeValue:
            if (c == '>')
                return pos + 1;
            if (c == '"' || c == '\'') {
                const size_t close = h.find(c, pos + 1);
                if (close == std::string_view::npos)
                    return std::string_view::npos;
                pos = close + 1;
                state = BeforeName;
            } else {
                if (!space)
                    state = Unquoted;
                ++pos;
            }
            break;
        case Unquoted:
            if (c == '>')
                return pos + 1;
            if (space)
                state = BeforeName;
            ++pos;
            break;
        }
    }
    return std::string_view::npos;
}

// Position of the end tag "</name" that closes raw text starting at `from`.
size_t rawTextEnd(std::string_view h, size_t from, std::string_view name)
{
    for (size_t at = h.find("</", from); at != std::string_view::npos; at = h.find("</", at + 2)) {
        const size_t after = at + 2 + name.size();
        if (startsWithNoCase(h, at + 2, name) && after < h.size() &&
            (isAsciiSpace(h[after]) || h[after] == '/' || h[after] == '>'))
            return at;
    }
    return std::string_view::npos;
}

// Position after a plain comment starting at `pos`; npos for the odd forms
// whose end the tokenizer finds elsewhere.
size_t commentEnd(std::string_view h, size_t pos)
{
    const size_t end = h.find("-->", pos + 4);
    if (h.compare(pos, 5, "<!-->") == 0 || h.compare(pos, 6, "<!--->") == 0 ||
        end == std::string_view::npos ||
        h.substr(pos, end - pos).find("--!>") != std::string_view::npos)
        return std::string_view::npos;
    return end + 3;
}

bool isVoidHeadElement(const std::string& name)
{
    return name == "meta" || name == "link" || name == "base" || name == "basefont" ||
           name == "bgsound";
}

} // namespace

std::optional<std::string> withoutHeadClutter(std::string_view h)
{
    std::string_view doctype, htmlTag;
    std::string styles;
    bool headSeen = false;
    size_t pos = 0;
    for (;;) {
        while (pos < h.size() && isAsciiSpace(h[pos]))
            ++pos;
        if (pos >= h.size() || h[pos] != '<')
            return std::nullopt; // text (or no body tag) before the body
        if (h.compare(pos, 4, "<!--") == 0) {
            pos = commentEnd(h, pos);
            if (pos == std::string_view::npos)
                return std::nullopt;
            continue;
        }
        if (startsWithNoCase(h, pos, "<!doctype")) {
            const size_t end = h.find('>', pos);
            if (!doctype.empty() || !htmlTag.empty() || headSeen || end == std::string_view::npos)
                return std::nullopt;
            doctype = h.substr(pos, end + 1 - pos);
            pos = end + 1;
            continue;
        }
        const bool endTag = h.compare(pos, 2, "</") == 0;
        const size_t nameStart = pos + (endTag ? 2 : 1);
        if (nameStart >= h.size() || !isLetter(h[nameStart]))
            return std::nullopt;
        size_t nameEnd = nameStart;
        while (nameEnd < h.size() && !isAsciiSpace(h[nameEnd]) && h[nameEnd] != '/' &&
               h[nameEnd] != '>')
            ++nameEnd;
        const std::string name = asciiLower(h.substr(nameStart, nameEnd - nameStart));
        const size_t end = endOfTag(h, nameEnd);
        if (end == std::string_view::npos)
            return std::nullopt;
        if (endTag) {
            if (name != "head")
                return std::nullopt;
            pos = end;
            continue;
        }
        if (name == "body") {
            std::string out;
            out.reserve(doctype.size() + htmlTag.size() + styles.size() + h.size() - pos + 16);
            out += doctype;
            out += htmlTag.empty() ? std::string_view("<html>") : htmlTag;
            out += "<head>";
            out += styles;
            out += "</head>";
            out += h.substr(pos);
            return out;
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
            if (close == std::string_view::npos)
                return std::nullopt;
            // Script text with "<!--" has escaping rules of its own; not worth following.
            if (name == "script" &&
                h.substr(end, close - end).find("<!--") != std::string_view::npos)
                return std::nullopt;
            const size_t closeEnd = endOfTag(h, close + 2 + name.size());
            if (closeEnd == std::string_view::npos)
                return std::nullopt;
            if (name == "style")
                styles += h.substr(pos, closeEnd - pos);
            pos = closeEnd;
            continue;
        } else if (name == "noscript") {
            // Parsed as markup, a noscript in the head may hold only these.
            pos = end;
            for (;;) {
                while (pos < h.size() && isAsciiSpace(h[pos]))
                    ++pos;
                if (pos >= h.size() || h[pos] != '<')
                    return std::nullopt;
                if (h.compare(pos, 4, "<!--") == 0) {
                    pos = commentEnd(h, pos);
                    if (pos == std::string_view::npos)
                        return std::nullopt;
                    continue;
                }
                const bool close = h.compare(pos, 2, "</") == 0;
                size_t innerEnd = pos + (close ? 2 : 1);
                const size_t innerStart = innerEnd;
                while (innerEnd < h.size() && isLetter(h[innerEnd]))
                    ++innerEnd;
                const std::string inner = asciiLower(h.substr(innerStart, innerEnd - innerStart));
                const size_t tagEnd = endOfTag(h, innerEnd);
                if (tagEnd == std::string_view::npos)
                    return std::nullopt;
                if (close && inner == "noscript") {
                    pos = tagEnd;
                    break;
                }
                if (close || !isVoidHeadElement(inner)) {
                    if (inner != "style" || close)
                        return std::nullopt;
                    // A style sheet in a noscript does not apply while scripting is on.
                    const size_t styleClose = rawTextEnd(h, tagEnd, inner);
                    if (styleClose == std::string_view::npos)
                        return std::nullopt;
                    pos = endOfTag(h, styleClose + 7);
                    if (pos == std::string_view::npos)
                        return std::nullopt;
                    continue;
                }
                pos = tagEnd;
            }
            continue;
        } else if (!isVoidHeadElement(name)) {
            return std::nullopt;
        }
        pos = end;
    }
}
