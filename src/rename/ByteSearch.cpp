#include "rename/ByteSearch.h"

#include "platform/Utf8.h"

#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace ByteSearch {

namespace {

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

} // namespace

CaselessText::CaselessText(QByteArrayView ascii)
    : m_value(ascii.size(), Qt::Uninitialized), m_mask(ascii.size(), Qt::Uninitialized)
{
    for (qsizetype k = 0; k < ascii.size(); ++k) {
        const char c = ascii[k];
        m_mask[k] = isLetter(c) ? char(0x20) : char(0);
        m_value[k] = char(c | m_mask[k]);
    }
}

qsizetype CaselessText::findIn(const char* data, qsizetype size) const
{
    const qsizetype m = m_value.size();
    if (m == 0 || size < m)
        return -1;
    const qsizetype lastStart = size - m;
    qsizetype i = 0;
#ifdef __SSE2__
    // Sixteen starts at a time, kept where the first and the last character
    // match; the rest of the text is compared only there.
    const __m128i first = _mm_set1_epi8(m_value[0]);
    const __m128i firstMask = _mm_set1_epi8(m_mask[0]);
    const __m128i last = _mm_set1_epi8(m_value[m - 1]);
    const __m128i lastMask = _mm_set1_epi8(m_mask[m - 1]);
    for (; i + 15 <= lastStart; i += 16) {
        const __m128i a =
            _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i)), firstMask);
        const __m128i b = _mm_or_si128(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + m - 1)), lastMask);
        unsigned bits = unsigned(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, last))));
        while (bits != 0) {
            const int j = __builtin_ctz(bits);
            if (matchesAt(data + i + j))
                return i + j;
            bits &= bits - 1;
        }
    }
#endif
    for (; i <= lastStart; ++i) {
        if (matchesAt(data + i))
            return i;
    }
    return -1;
}

bool Utf8Verdict::feed(const char* data, qsizetype size)
{
    if (!m_valid)
        return false;
    const auto* p = reinterpret_cast<const unsigned char*>(data);
    const unsigned char* const end = p + size;
    if (m_carried > 0) {
        unsigned char joined[4];
        std::memcpy(joined, m_carry, size_t(m_carried));
        int n = m_carried;
        const unsigned char* const from = p;
        while (n < 4 && p < end)
            joined[n++] = *p++;
        const Utf8::Sequence sequence = Utf8::decode(joined, size_t(n));
        if (sequence.length == 0) {
            if (!sequence.cutShort)
                return m_valid = false;
            std::memcpy(m_carry, joined, size_t(n)); // all of this piece, still cut short
            m_carried = n;
            return true;
        }
        note(sequence.codePoint);
        p = from + (sequence.length - m_carried);
        m_carried = 0;
    }
    while (p < end) {
#ifdef __SSE2__
        if (end - p >= 16) {
            const unsigned high =
                unsigned(_mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))));
            if (high == 0) {
                p += 16;
                continue;
            }
            p += __builtin_ctz(high);
        }
#endif
        if (*p < 0x80) {
            ++p;
            continue;
        }
        const Utf8::Sequence sequence = Utf8::decode(p, size_t(end - p));
        if (sequence.length == 0) {
            if (!sequence.cutShort)
                return m_valid = false;
            m_carried = int(end - p);
            std::memcpy(m_carry, p, size_t(m_carried));
            return true;
        }
        note(sequence.codePoint);
        p += sequence.length;
    }
    return true;
}

bool holdsFoldingLetter(QByteArrayView before, const char* data, qsizetype size)
{
    // The forms: C5 BF (U+017F) and E2 84 AA (U+212A).
    const auto startsForm = [](const unsigned char* p, qsizetype n) {
        return (n >= 2 && p[0] == 0xC5 && p[1] == 0xBF) ||
               (n >= 3 && p[0] == 0xE2 && p[1] == 0x84 && p[2] == 0xAA);
    };
    unsigned char joint[4] = {};
    const qsizetype kept = std::min<qsizetype>(before.size(), 2);
    if (kept > 0)
        std::memcpy(joint, before.data() + before.size() - kept, size_t(kept));
    const qsizetype taken = std::min<qsizetype>(size, 2);
    if (taken > 0)
        std::memcpy(joint + kept, data, size_t(taken));
    for (qsizetype k = 0; k < kept; ++k) {
        if (startsForm(joint + k, kept + taken - k))
            return true;
    }
    const auto* p = reinterpret_cast<const unsigned char*>(data);
    for (const unsigned char lead : {0xC5, 0xE2}) {
        for (const void* at = std::memchr(p, lead, size_t(size)); at != nullptr;) {
            const auto* q = static_cast<const unsigned char*>(at);
            if (startsForm(q, p + size - q))
                return true;
            at = std::memchr(q + 1, lead, size_t(p + size - q - 1));
        }
    }
    return false;
}

} // namespace ByteSearch
