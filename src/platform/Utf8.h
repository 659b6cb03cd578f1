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
        int length;
        unsigned char low = 0x80, high = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            if (c == 0xE0)
                low = 0xA0;
            if (c == 0xED)
                high = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            if (c == 0xF0)
                low = 0x90;
            if (c == 0xF4)
                high = 0x8F;
        } else {
            result.verdict = Check::Invalid;
            return result;
        }
        for (int i = 1; i < length; ++i) {
            if (p + i >= end) {
                result.verdict = Check::CutShort;
                return result;
            }
            const unsigned char next = p[i];
            if (next < (i == 1 ? low : 0x80) || next > (i == 1 ? high : 0xBF)) {
                result.verdict = Check::Invalid;
                return result;
            }
        }
        result.multiByte = true;
        p += length;
    }
    return result;
}

} // namespace Utf8
