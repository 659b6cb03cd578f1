#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Byte-level reading of markup before (or instead of) the parser: the nesting
// guard, the head prescan and the parser's prefix cuts all find tags here, so
// they agree with each other, and with the parser, on where a tag ends.
namespace MarkupScan {

constexpr size_t npos = std::string_view::npos;

inline bool isAsciiSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

inline bool isAsciiLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

inline char lowerChar(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c + 32) : c;
}

std::string asciiLower(std::string_view text);
std::string_view trimmed(std::string_view text);

// True when `text` holds `lowerPrefix` at `at`, letter case aside.
bool startsWithNoCase(std::string_view text, size_t at, std::string_view lowerPrefix);

// True when `a` and `b` are the same, ASCII letter case aside.
bool sameNoCase(std::string_view a, std::string_view b);

// One piece of markup that starts with '<'.
struct Tag
{
    enum Kind {
        Start,
        End,
        Comment, // "<!--" to its end, as the parser ends it
        Other,   // doctype, processing instruction, other "<!" and bogus "</": up to '>'
    };
    Kind kind = Other;
    size_t begin = npos;   // the '<'
    size_t end = npos;     // just after the closing '>'; the text's size when it is missing
    std::string_view name; // start and end tags: the name as written
    bool selfClosing = false;
    bool complete = false; // false when the text ends before the tag does
};

// The markup at `lt` when `text[lt]` is '<' and the parser reads a tag,
// comment or declaration there; a Tag with begin == npos when it reads text
// ("<" followed by a blank, a digit, ...).
Tag tagAt(std::string_view text, size_t lt);

// The next markup at or after `from` (see tagAt); begin == npos when none.
Tag nextTag(std::string_view text, size_t from);

// Just after the '>' ending a tag whose name ends at `pos`, reading its
// attributes as the parser does (quoted values may hold '>'); npos when the
// text ends first.
size_t tagEnd(std::string_view text, size_t pos);

// Where the end tag "</name" that closes raw text (script, style, title...)
// starting at `from` begins; npos when there is none.
size_t rawTextEnd(std::string_view text, size_t from, std::string_view lowerName);

} // namespace MarkupScan
