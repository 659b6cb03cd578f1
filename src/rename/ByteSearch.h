#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>

// Looking for text in a page's raw bytes, for the readers that decode only
// what they keep. An ASCII byte stands for its own character in every encoding
// a page is read in (UTF-8, Windows-1252, Latin-1), and no other byte does, so
// an ASCII text is found in the bytes exactly where it is found in the text.
namespace ByteSearch {

// An ASCII text, its letters matched in either case (as the text rules fold
// them, but for the two non-ASCII characters that fold to ASCII letters: the
// Kelvin sign and the long s, which the reader looks for separately).
class CaselessText
{
public:
    explicit CaselessText(QByteArrayView ascii);

    qsizetype size() const { return m_value.size(); }

    // The first start of the text in `size` bytes, or -1.
    qsizetype findIn(const char* data, qsizetype size) const;

    // Whether the text starts at `data` (which holds at least size() bytes).
    bool matchesAt(const char* data) const
    {
        for (qsizetype k = 0; k < m_value.size(); ++k) {
            if (char(data[k] | m_mask[k]) != m_value[k])
                return false;
        }
        return true;
    }

private:
    QByteArray m_value; // letters in lower case
    QByteArray m_mask;  // 0x20 where a letter stands: OR-ing it folds the letter's capital
};

// Whether bytes are UTF-8 from start to end, told one piece at a time. A
// sequence cut by a piece's end is finished by the next piece; one cut by the
// end of the bytes makes them not UTF-8. Also notes the two characters that
// fold to ASCII letters (U+017F long s, U+212A Kelvin sign).
class Utf8Verdict
{
public:
    // Checks the next `size` bytes; false once the bytes are known not to be UTF-8.
    bool feed(const char* data, qsizetype size);
    // After the last piece: whether all of it was UTF-8.
    bool valid() const { return m_valid && m_carried == 0; }
    bool invalid() const { return !m_valid; }
    bool sawFoldingLetter() const { return m_folding; }

private:
    void note(char32_t codePoint)
    {
        m_folding = m_folding || codePoint == 0x17F || codePoint == 0x212A;
    }

    bool m_valid = true;
    bool m_folding = false;
    unsigned char m_carry[4] = {};
    int m_carried = 0;
};

// Whether `size` bytes hold the UTF-8 form of U+017F or U+212A, counting one
// that begins in the `before` bytes just ahead of them (at most two).
bool holdsFoldingLetter(QByteArrayView before, const char* data, qsizetype size);

} // namespace ByteSearch
