#include "pagetext/engine/MarkupScan.h"

#include <cstring>

namespace MarkupScan {

std::string asciiLower(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = lowerChar(c);
    return out;
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && isAsciiSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isAsciiSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

bool startsWithNoCase(std::string_view text, size_t at, std::string_view lowerPrefix)
{
    if (at > text.size() || text.size() - at < lowerPrefix.size())
        return false;
    for (size_t i = 0; i < lowerPrefix.size(); ++i)
        if (lowerChar(text[at + i]) != lowerPrefix[i])
            return false;
    return true;
}

bool sameNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lowerChar(a[i]) != lowerChar(b[i]))
            return false;
    return true;
}

size_t tagEnd(std::string_view text, size_t pos)
{
    enum {
        BeforeName,
        Name,
        AfterName,
        BeforeValue,
        Unquoted,
    } state = BeforeName;
    while (pos < text.size()) {
        const char c = text[pos];
        const bool space = isAsciiSpace(c);
        switch (state) {
        case BeforeName:
            if (c == '>')
                return pos + 1;
            // A '/' not followed by '>' is read past; '=' may start a name.
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
                const size_t close = text.find(c, pos + 1);
                if (close == npos)
                    return npos;
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
    return npos;
}

namespace {

// Just after the end of the comment whose "<!--" is at `lt`: "<!-->" and
// "<!--->" end at once, otherwise "-->" or "--!>" end it.
size_t commentEnd(std::string_view text, size_t lt)
{
    const size_t body = lt + 4;
    if (text.compare(body, 1, ">") == 0)
        return body + 1;
    if (text.compare(body, 2, "->") == 0)
        return body + 2;
    for (size_t at = text.find("--", body); at != npos; at = text.find("--", at + 1)) {
        if (text.compare(at + 2, 1, ">") == 0)
            return at + 3;
        if (text.compare(at + 2, 2, "!>") == 0)
            return at + 4;
    }
    return npos;
}

Tag upToBracket(std::string_view text, size_t lt, size_t from, Tag::Kind kind)
{
    Tag tag;
    tag.kind = kind;
    tag.begin = lt;
    const size_t close = text.find('>', from);
    tag.complete = close != npos;
    tag.end = tag.complete ? close + 1 : text.size();
    return tag;
}

} // namespace

Tag tagAt(std::string_view text, size_t lt)
{
    if (lt + 1 >= text.size() || text[lt] != '<')
        return {};
    const char next = text[lt + 1];
    if (next == '!') {
        if (text.compare(lt + 2, 2, "--") == 0) {
            Tag tag;
            tag.kind = Tag::Comment;
            tag.begin = lt;
            tag.end = commentEnd(text, lt);
            tag.complete = tag.end != npos;
            if (!tag.complete)
                tag.end = text.size();
            return tag;
        }
        return upToBracket(text, lt, lt + 2, Tag::Other); // doctype or bogus comment
    }
    if (next == '?')
        return upToBracket(text, lt, lt + 2, Tag::Other);
    const bool endTag = next == '/';
    const size_t nameStart = lt + (endTag ? 2 : 1);
    if (nameStart >= text.size())
        return {}; // "</" at the very end is text
    if (!isAsciiLetter(text[nameStart])) {
        if (!endTag)
            return {};
        return upToBracket(text, lt, nameStart, Tag::Other); // "</>" and bogus comments
    }
    size_t nameEnd = nameStart;
    while (nameEnd < text.size() && !isAsciiSpace(text[nameEnd]) && text[nameEnd] != '/' &&
           text[nameEnd] != '>')
        ++nameEnd;
    Tag tag;
    tag.kind = endTag ? Tag::End : Tag::Start;
    tag.begin = lt;
    tag.name = text.substr(nameStart, nameEnd - nameStart);
    tag.end = tagEnd(text, nameEnd);
    tag.complete = tag.end != npos;
    if (!tag.complete)
        tag.end = text.size();
    tag.selfClosing = tag.complete && text[tag.end - 2] == '/';
    return tag;
}

Tag nextTag(std::string_view text, size_t from)
{
    while (from < text.size()) {
        const void* hit = std::memchr(text.data() + from, '<', text.size() - from);
        if (!hit)
            break;
        const size_t lt = size_t(static_cast<const char*>(hit) - text.data());
        Tag tag = tagAt(text, lt);
        if (tag.begin != npos)
            return tag;
        from = lt + 1;
    }
    return {};
}

size_t rawTextEnd(std::string_view text, size_t from, std::string_view lowerName)
{
    for (size_t at = text.find("</", from); at != npos; at = text.find("</", at + 2)) {
        const size_t after = at + 2 + lowerName.size();
        if (startsWithNoCase(text, at + 2, lowerName) && after < text.size() &&
            (isAsciiSpace(text[after]) || text[after] == '/' || text[after] == '>'))
            return at;
    }
    return npos;
}

} // namespace MarkupScan
