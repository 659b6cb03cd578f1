#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// One reading of "is this UTF-8?" for both places that guess how a file's bytes
// are meant: the names' text rules and the page encoding.
namespace Utf8 {

struct Check
{
    enum Verdict {
        Valid,
        Invalid,  // a byte no UTF-8 text holds where it stands
        CutShort, // valid, but the last sequence is cut off by the end
    };
    Verdict verdict = Valid;
    bool multiByte = false; // a complete sequence of two or more bytes came before the verdict
};

// The UTF-8 sequence at the start of `p` (at most `n` bytes): its length and
// code point, or length 0 when no valid sequence starts there (`cutShort` when
// the bytes are a valid start that the end cuts off). Overlong forms,
// surrogates and code points past U+10FFFF are invalid.
struct Sequence
{
    int length = 0;
    char32_t codePoint = 0;
    bool cutShort = false;
};

inline Sequence decode(const unsigned char* p, size_t n)
{
    Sequence s;
    const unsigned char c = p[0];
    if (c < 0x80) {
        s.length = 1;
        s.codePoint = c;
        return s;
    }
    int length;
    unsigned char low = 0x80, high = 0xBF;
    char32_t cp;
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2, cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3, cp = c & 0x0F;
        if (c == 0xE0)
            low = 0xA0;
        if (c == 0xED)
            high = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4, cp = c & 0x07;
        if (c == 0xF0)
            low = 0x90;
        if (c == 0xF4)
            high = 0x8F;
    } else {
        return s;
    }
    for (int i = 1; i < length; ++i) {
        if (size_t(i) >= n) {
            s.cutShort = true;
            return s;
        }
        const unsigned char next = p[i];
        if (next < (i == 1 ? low : 0x80) || next > (i == 1 ? high : 0xBF))
            return s;
        cp = (cp << 6) | (next & 0x3F);
    }
    s.length = length;
    s.codePoint = cp;
    return s;
}

// Appends the UTF-8 bytes of the code point `cp` (not a surrogate, at most
// U+10FFFF) to `out`, a std::string or a QByteArray.
template <typename Bytes>
void append(Bytes& out, char32_t cp)
{
    if (cp < 0x80) {
        out.push_back(char(cp));
        return;
    }
    if (cp < 0x800) {
        out.push_back(char(0xC0 | (cp >> 6)));
    } else if (cp < 0x10000) {
        out.push_back(char(0xE0 | (cp >> 12)));
        out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
    } else {
        out.push_back(char(0xF0 | (cp >> 18)));
        out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
    }
    out.push_back(char(0x80 | (cp & 0x3F)));
}

// Overlong forms, surrogates and code points past U+10FFFF are invalid.
inline Check check(const char* data, size_t size)
{
    const auto* p = reinterpret_cast<const unsigned char*>(data);
    const unsigned char* end = p + size;
    Check result;
    while (p < end) {
        // Plain ASCII goes eight bytes at a time.
        if (end - p >= 8) {
            uint64_t word;
            std::memcpy(&word, p, 8);
            if (!(word & 0x8080808080808080ull)) {
                p += 8;
                continue;
            }
        }
        const unsigned char c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        const Sequence sequence = decode(p, size_t(end - p));
        if (sequence.length == 0) {
            result.verdict = sequence.cutShort ? Check::CutShort : Check::Invalid;
            return result;
        }
        p += sequence.length;
        result.multiByte = true;
    }
    return result;
}

} // namespace Utf8
