#include "rename/TextRules.h"

#include "platform/Failure.h"
#include "platform/Utf8.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <locale.h>

namespace TextRules {

namespace {

constexpr QChar kBlank = QLatin1Char(' ');

// Windows-1252 bytes 0x80 to 0x9F. The five bytes the code page leaves
// undefined map to the control character of the same number, as Windows does.
constexpr char16_t kHighHalf[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// Checks the number grammar on the text between blanks.
bool readsAsNumber(QStringView s)
{
    qsizetype i = 0;
    const qsizetype n = s.size();
    if (i < n && (s[i] == QLatin1Char('+') || s[i] == QLatin1Char('-')))
        ++i;
    qsizetype digits = 0;
    while (i < n && isDigit(s[i]))
        ++i, ++digits;
    if (i < n && s[i] == QLatin1Char('.')) {
        ++i;
        while (i < n && isDigit(s[i]))
            ++i, ++digits;
    }
    if (digits == 0)
        return false;
    if (i < n && (s[i] == QLatin1Char('e') || s[i] == QLatin1Char('E'))) {
        ++i;
        if (i < n && (s[i] == QLatin1Char('+') || s[i] == QLatin1Char('-')))
            ++i;
        qsizetype exponentDigits = 0;
        while (i < n && isDigit(s[i]))
            ++i, ++exponentDigits;
        if (exponentDigits == 0)
            return false;
    }
    return i == n;
}

// Numbers are read the same way whatever the user's locale says about commas.
locale_t cLocale()
{
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", locale_t(0));
    return locale;
}

} // namespace

bool isNumeric(const QString& text)
{
    return readsAsNumber(QStringView(trimBlanks(text)));
}

qint32 toWholeNumber(const QString& text)
{
    const QString trimmed = trimBlanks(text);
    if (!readsAsNumber(trimmed))
        throw Failure(QStringLiteral("Type mismatch"), 13);
    const QByteArray ascii = trimmed.toLatin1();
    // Out of range gives HUGE_VAL (overflow, caught below) or a value near 0.
    const double value = strtod_l(ascii.constData(), nullptr, cLocale());
    // The default rounding mode rounds a half to the even neighbour.
    const double rounded = std::nearbyint(value);
    if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0))
        throw Failure(QStringLiteral("Overflow"), 6);
    return static_cast<qint32>(rounded);
}

QStringList splitText(const QString& text, QChar separator)
{
    if (text.isEmpty())
        return {};
    return text.split(separator, Qt::KeepEmptyParts);
}

QString trimBlanks(const QString& text)
{
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end && text.at(start) == kBlank)
        ++start;
    while (end > start && text.at(end - 1) == kBlank)
        --end;
    if (start == 0 && end == text.size())
        return text;
    return text.mid(start, end - start);
}

namespace {

// Case folding as QChar::toCaseFolded() has it for the characters that fold
// to ASCII: the ASCII capitals, the Kelvin sign and the long s.
char16_t foldedToAscii(char16_t c)
{
    if (c >= u'A' && c <= u'Z')
        return char16_t(c + (u'a' - u'A'));
    if (c == 0x212A)
        return u'k';
    if (c == 0x017F)
        return u's';
    return c;
}

} // namespace

qsizetype findText(QStringView haystack, QStringView needle, qsizetype from)
{
    if (from > haystack.size())
        return -1;
    // The field names and most search strings are ASCII: compared directly,
    // they are found several times faster than by folding every character.
    const bool ascii = !needle.isEmpty() && std::all_of(needle.begin(), needle.end(),
                                                        [](QChar c) { return c.unicode() < 0x80; });
    if (!ascii)
        return haystack.indexOf(needle, from, Qt::CaseInsensitive);
    const char16_t first = foldedToAscii(needle[0].unicode());
    const qsizetype last = haystack.size() - needle.size();
    for (qsizetype i = std::max<qsizetype>(from, 0); i <= last; ++i) {
        if (foldedToAscii(haystack[i].unicode()) != first)
            continue;
        qsizetype k = 1;
        while (k < needle.size() &&
               foldedToAscii(haystack[i + k].unicode()) == foldedToAscii(needle[k].unicode()))
            ++k;
        if (k == needle.size())
            return i;
    }
    return -1;
}

QString decodeWindows1252(QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (const char byte : bytes) {
        const unsigned char b = static_cast<unsigned char>(byte);
        *out++ = (b >= 0x80 && b <= 0x9F) ? QChar(kHighHalf[b - 0x80]) : QChar(b);
    }
    return text;
}

TextEncoding textEncoding(bool utf8Bom, bool validUtf8, bool multiByte)
{
    if (utf8Bom)
        return TextEncoding::Utf8;
    if (!validUtf8)
        return TextEncoding::Windows1252;
    return multiByte ? TextEncoding::Utf8 : TextEncoding::Ascii;
}

bool startsWithUtf8Bom(QByteArrayView bytes)
{
    return bytes.startsWith("\xEF\xBB\xBF");
}

QString decodeText(const QByteArray& bytes)
{
    if (startsWithUtf8Bom(bytes))
        return QString::fromUtf8(bytes.constData() + kUtf8BomSize, bytes.size() - kUtf8BomSize);
    const Utf8::Check check = Utf8::check(bytes.constData(), size_t(bytes.size()));
    switch (textEncoding(false, check.verdict == Utf8::Check::Valid, check.multiByte)) {
    case TextEncoding::Ascii:
        return QString::fromLatin1(bytes);
    case TextEncoding::Utf8:
        return QString::fromUtf8(bytes);
    case TextEncoding::Windows1252:
        break;
    }
    return decodeWindows1252(bytes);
}

int ansiCode(QChar c)
{
    const char16_t u = c.unicode();
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF))
        return u;
    for (int i = 0; i < 32; ++i) {
        if (kHighHalf[i] == u)
            return 0x80 + i;
    }
    return '?';
}

} // namespace TextRules
