#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

// The text rules the whole engine shares: what counts as a number, how numbers
// become whole numbers, how texts are split, trimmed and searched, and how the
// bytes of a file become text.
namespace TextRules {

// True when `text`, with blanks around it allowed, reads wholly as a decimal
// number: optional sign, digits with an optional decimal point (at least one
// digit), optional exponent ("e" or "E", optional sign, digits). The empty text
// is not numeric.
bool isNumeric(const QString& text);

// The signed 32-bit whole number nearest to the numeric `text`, a half going to
// the even neighbour (2.5 gives 2, 3.5 gives 4). Throws Failure "Overflow" when
// the result does not fit and "Type mismatch" when `text` is not numeric.
qint32 toWholeNumber(const QString& text);

// `text` cut at every `separator`, empty pieces kept ("a,,b" gives three). The
// empty text gives no pieces at all.
QStringList splitText(const QString& text, QChar separator);

// `text` without the blanks (U+0020 only) at both ends.
QString trimBlanks(const QString& text);

// Position of the first occurrence of `needle` in `haystack` at or after `from`,
// without regard to letter case; -1 when there is none. An empty needle is found
// at `from`.
qsizetype findText(QStringView haystack, QStringView needle, qsizetype from = 0);

// The encoding a file's bytes are read in: UTF-8 when they start with a UTF-8
// byte-order mark (which is dropped) or are valid UTF-8 holding at least one
// multi-byte sequence; otherwise one character per byte through Windows-1252.
// Plain ASCII reads the same either way, and fastest as Latin-1.
enum class TextEncoding { Ascii, Utf8, Windows1252 };
TextEncoding textEncoding(bool utf8Bom, bool validUtf8, bool multiByte);
bool startsWithUtf8Bom(QByteArrayView bytes);
inline constexpr qsizetype kUtf8BomSize = 3;

// The text of a file's bytes, in the encoding textEncoding() chooses.
QString decodeText(const QByteArray& bytes);

// One character per byte through Windows-1252.
QString decodeWindows1252(QByteArrayView bytes);

// The character code of `c` in Windows-1252, the code page names are judged in:
// 0 to 255, or 63 (the code of "?") for a character the code page lacks.
int ansiCode(QChar c);

} // namespace TextRules
