#pragma once

#include <climits>
#include <cstddef>

// How much of a word can matter to a name. A name holds at most NAME_MAX bytes,
// so once a word has more bytes than that which could stand in a name, the rest
// of it cannot change the outcome: the name is too long, or, cut to a length,
// begins the same. Readers keep that much of a word and drop the rest, so that
// a page of one endless word costs no more than a page of short ones.
namespace NameBounds {

constexpr size_t kLongestName = NAME_MAX;

// Characters a name's clean-up may remove wherever they stand: C0 and C1
// controls, DEL, the bidirectional controls, the Windows-1252 letters of 128
// to 159 (dropped by one version of the rule, kept by another), and the
// characters no name may hold. Taking a character for one of these that a name
// keeps is harmless: more than kLongestName of them are kept.
constexpr bool dropped(char32_t c)
{
    switch (c) {
    case U'/':
    case U'\\':
    case U'*':
    case U':':
    case U'?':
    case U'<':
    case U'>':
    case U'|':
    case U'=':
    case U'"':
    case U'\'':
    case U'%':
        return true;
    default:
        break;
    }
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || (c >= 0x2013 && c <= 0x203A) || c == 0x20AC ||
           c == 0x2122 || c == 0x0152 || c == 0x0153 || c == 0x0160 || c == 0x0161 || c == 0x0178 ||
           c == 0x017D || c == 0x017E || c == 0x0192 || c == 0x02C6 || c == 0x02DC ||
           (c >= 0x2066 && c <= 0x2069);
}

// Of the characters a name may lose (the dropped ones, and dots before anything
// else of the first word), at most this many are kept in one word. Dropping
// more changes no name: those that a name keeps make it too long already.
constexpr size_t kLostKept = 1024;
static_assert(kLostKept > kLongestName);

// The bytes `c` takes in UTF-8; half of a UTF-16 surrogate pair counts half.
constexpr size_t utf8Bytes(char32_t c)
{
    if (c >= 0xD800 && c <= 0xDFFF)
        return 2;
    return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
}

// Keeps track of one word as it is read: whether a character is still worth
// keeping. A word is over once more than kLongestName bytes of it could stand
// in a name; what follows it in the same word is not kept.
class WordBudget
{
public:
    // A new word; `first`: the first word of the text, whose leading dots go.
    void startWord(bool first)
    {
        m_nameBytes = 0;
        m_lost = 0;
        m_leading = first;
    }

    // Whether to keep `c`, the next character of the word.
    bool keep(char32_t c)
    {
        if (m_nameBytes > kLongestName)
            return false;
        if (dropped(c) || (m_leading && c == U'.'))
            return ++m_lost <= kLostKept;
        m_leading = false;
        m_nameBytes += utf8Bytes(c);
        return true;
    }

    // More of the word than any name can hold has been seen.
    bool over() const { return m_nameBytes > kLongestName; }

private:
    size_t m_nameBytes = 0;
    size_t m_lost = 0;
    bool m_leading = true;
};

} // namespace NameBounds
