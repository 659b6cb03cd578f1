#include "pagetext/engine/PageEncoding.h"

#include "pagetext/engine/MarkupScan.h"
#include "platform/Utf8.h"

#include <QStringDecoder>
#include <cstring>
#include <uchardet.h>
#include <unordered_map>

namespace PageEncoding {

namespace {

// The labels of the Encoding Standard, by encoding.
const char* const kLabels[] = {
    "UTF-8 unicode-1-1-utf-8 unicode11utf8 unicode20utf8 utf-8 utf8 x-unicode20utf8",
    "IBM866 866 cp866 csibm866 ibm866",
    "ISO-8859-2 csisolatin2 iso-8859-2 iso-ir-101 iso8859-2 iso88592 iso_8859-2 iso_8859-2:1987 l2 "
    "latin2",
    "ISO-8859-3 csisolatin3 iso-8859-3 iso-ir-109 iso8859-3 iso88593 iso_8859-3 iso_8859-3:1988 l3 "
    "latin3",
    "ISO-8859-4 csisolatin4 iso-8859-4 iso-ir-110 iso8859-4 iso88594 iso_8859-4 iso_8859-4:1988 l4 "
    "latin4",
    "ISO-8859-5 csisolatincyrillic cyrillic iso-8859-5 iso-ir-144 iso8859-5 iso88595 iso_8859-5 "
    "iso_8859-5:1988",
    "ISO-8859-6 arabic asmo-708 csiso88596e csiso88596i csisolatinarabic ecma-114 iso-8859-6 "
    "iso-8859-6-e iso-8859-6-i iso-ir-127 iso8859-6 iso88596 iso_8859-6 iso_8859-6:1987",
    "ISO-8859-7 csisolatingreek ecma-118 elot_928 greek greek8 iso-8859-7 iso-ir-126 iso8859-7 "
    "iso88597 iso_8859-7 iso_8859-7:1987 sun_eu_greek",
    "ISO-8859-8 csiso88598e csisolatinhebrew hebrew iso-8859-8 iso-8859-8-e iso-ir-138 iso8859-8 "
    "iso88598 iso_8859-8 iso_8859-8:1988 visual",
    "ISO-8859-8-I csiso88598i iso-8859-8-i logical",
    "ISO-8859-10 csisolatin6 iso-8859-10 iso-ir-157 iso8859-10 iso885910 l6 latin6",
    "ISO-8859-13 iso-8859-13 iso8859-13 iso885913",
    "ISO-8859-14 iso-8859-14 iso8859-14 iso885914",
    "ISO-8859-15 csisolatin9 iso-8859-15 iso8859-15 iso885915 iso_8859-15 l9",
    "ISO-8859-16 iso-8859-16",
    "KOI8-R cskoi8r koi koi8 koi8-r koi8_r",
    "KOI8-U koi8-ru koi8-u",
    "macintosh csmacintosh mac macintosh x-mac-roman",
    "windows-874 dos-874 iso-8859-11 iso8859-11 iso885911 tis-620 windows-874",
    "windows-1250 cp1250 windows-1250 x-cp1250",
    "windows-1251 cp1251 windows-1251 x-cp1251",
    "windows-1252 ansi_x3.4-1968 ascii cp1252 cp819 csisolatin1 ibm819 iso-8859-1 iso-ir-100 "
    "iso8859-1 iso88591 iso_8859-1 iso_8859-1:1987 l1 latin1 us-ascii windows-1252 x-cp1252",
    "windows-1253 cp1253 windows-1253 x-cp1253",
    "windows-1254 cp1254 csisolatin5 iso-8859-9 iso-ir-148 iso8859-9 iso88599 iso_8859-9 "
    "iso_8859-9:1989 l5 latin5 windows-1254 x-cp1254",
    "windows-1255 cp1255 windows-1255 x-cp1255",
    "windows-1256 cp1256 windows-1256 x-cp1256",
    "windows-1257 cp1257 windows-1257 x-cp1257",
    "windows-1258 cp1258 windows-1258 x-cp1258",
    "x-mac-cyrillic x-mac-cyrillic x-mac-ukrainian",
    "GBK chinese csgb2312 csiso58gb231280 gb2312 gb_2312 gb_2312-80 gbk iso-ir-58 x-gbk",
    "gb18030 gb18030",
    "Big5 big5 big5-hkscs cn-big5 csbig5 x-x-big5",
    "EUC-JP cseucpkdfmtjapanese euc-jp x-euc-jp",
    "ISO-2022-JP csiso2022jp iso-2022-jp",
    "Shift_JIS csshiftjis ms932 ms_kanji shift-jis shift_jis sjis windows-31j x-sjis",
    "EUC-KR cseuckr csksc56011987 euc-kr iso-ir-149 korean ks_c_5601-1987 ks_c_5601-1989 ksc5601 "
    "ksc_5601 windows-949",
    "replacement csiso2022kr hz-gb-2312 iso-2022-cn iso-2022-cn-ext iso-2022-kr replacement",
    "UTF-16BE unicodefffe utf-16be",
    "UTF-16LE csunicode iso-10646-ucs-2 ucs-2 unicode unicodefeff utf-16 utf-16le",
    "x-user-defined x-user-defined",
};

const std::unordered_map<std::string, std::string>& labelTable()
{
    static const std::unordered_map<std::string, std::string> table = [] {
        std::unordered_map<std::string, std::string> t;
        for (const char* line : kLabels) {
            std::string_view rest(line);
            const size_t space = rest.find(' ');
            const std::string name(rest.substr(0, space));
            rest.remove_prefix(space + 1);
            while (!rest.empty()) {
                const size_t end = std::min(rest.find(' '), rest.size());
                t.emplace(std::string(rest.substr(0, end)), name);
                rest.remove_prefix(std::min(end + 1, rest.size()));
            }
        }
        return t;
    }();
    return table;
}

// The converter that decodes an encoding as the Encoding Standard does.
const char* converterName(const std::string& encoding)
{
    if (encoding == "GBK")
        return "GB18030";
    if (encoding == "Big5")
        return "Big5-HKSCS";
    if (encoding == "Shift_JIS")
        return "windows-31j";
    if (encoding == "EUC-KR")
        return "windows-949";
    if (encoding == "ISO-8859-8-I")
        return "ISO-8859-8";
    return encoding.c_str();
}

bool decodable(const std::string& encoding)
{
    if (encoding == "UTF-8" || encoding == "replacement" || encoding == "x-user-defined")
        return true;
    return QStringDecoder(converterName(encoding)).isValid();
}

using MarkupScan::asciiLower;
using MarkupScan::isAsciiSpace;
using MarkupScan::lowerChar;
using MarkupScan::startsWithNoCase;
using MarkupScan::trimmed;

// "get an attribute" of the prescan; false when there is none.
bool nextAttribute(std::string_view b, size_t& pos, std::string& name, std::string& value)
{
    while (pos < b.size() && (isAsciiSpace(b[pos]) || b[pos] == '/'))
        ++pos;
    if (pos >= b.size() || b[pos] == '>')
        return false;
    name.clear();
    value.clear();
    for (;;) {
        if (pos >= b.size())
            return false;
        const unsigned char c = b[pos];
        if (c == '=' && !name.empty()) {
            ++pos;
            break;
        }
        if (isAsciiSpace(c)) {
            while (pos < b.size() && isAsciiSpace(b[pos]))
                ++pos;
            if (pos >= b.size())
                return false;
            if (b[pos] != '=')
                return true;
            ++pos;
            break;
        }
        if (c == '/' || c == '>')
            return true;
        name += char(lowerChar(c));
        ++pos;
    }
    while (pos < b.size() && isAsciiSpace(b[pos]))
        ++pos;
    if (pos >= b.size())
        return false;
    const unsigned char first = b[pos];
    if (first == '"' || first == '\'') {
        ++pos;
        for (;;) {
            if (pos >= b.size())
                return false;
            if ((unsigned char)b[pos] == first) {
                ++pos;
                return true;
            }
            value += char(lowerChar(b[pos++]));
        }
    }
    if (first == '>')
        return true;
    value += char(lowerChar(first));
    ++pos;
    for (;;) {
        if (pos >= b.size())
            return false;
        const unsigned char c = b[pos];
        if (isAsciiSpace(c) || c == '>')
            return true;
        value += char(lowerChar(c));
        ++pos;
    }
}

// The encoding named by the content attribute of a <meta http-equiv>.
std::string charsetFromContent(std::string_view s)
{
    size_t pos = 0;
    for (;;) {
        const size_t found = s.find("charset", pos);
        if (found == std::string_view::npos)
            return {};
        pos = found + 7;
        while (pos < s.size() && isAsciiSpace(s[pos]))
            ++pos;
        if (pos >= s.size() || s[pos] != '=')
            continue;
        ++pos;
        while (pos < s.size() && isAsciiSpace(s[pos]))
            ++pos;
        if (pos >= s.size())
            return {};
        if (s[pos] == '"' || s[pos] == '\'') {
            const size_t end = s.find(s[pos], pos + 1);
            if (end == std::string_view::npos)
                return {};
            return forLabel(s.substr(pos + 1, end - pos - 1));
        }
        size_t end = pos;
        while (end < s.size() && !isAsciiSpace(s[end]) && s[end] != ';')
            ++end;
        return forLabel(s.substr(pos, end - pos));
    }
}

std::string detectorAnswer(std::string_view bytes)
{
    uchardet_t detector = uchardet_new();
    uchardet_handle_data(detector, bytes.data(), std::min<size_t>(bytes.size(), 1 << 20));
    uchardet_data_end(detector);
    const std::string answer = asciiLower(uchardet_get_charset(detector));
    uchardet_delete(detector);
    if (answer == "mac-cyrillic")
        return "x-mac-cyrillic";
    // The detector names Korean pages by the Windows superset of EUC-KR, which
    // is what browsers decode as EUC-KR; it is no label of its own.
    if (answer == "uhc" || answer == "cp949")
        return "EUC-KR";
    if (answer == "mac-centraleurope" || answer == "euc-tw" || answer == "ibm855" ||
        answer.rfind("utf", 0) == 0 || answer.rfind("x-iso-10646", 0) == 0)
        return {};
    return forLabel(answer);
}

bool isMultiByteEncoding(const std::string& e)
{
    return e == "GBK" || e == "gb18030" || e == "Big5" || e == "EUC-JP" || e == "ISO-2022-JP" ||
           e == "Shift_JIS" || e == "EUC-KR";
}

} // namespace

std::string forLabel(std::string_view label)
{
    const std::string key = asciiLower(trimmed(label));
    const auto& table = labelTable();
    auto it = table.find(key);
    return it == table.end() ? std::string() : it->second;
}

// This is the byte-level look browsers take before parsing, so it reads
// attributes and comments its own way rather than as the tokenizer would.
std::string prescan(std::string_view bytes)
{
    const std::string_view b = bytes.substr(0, 1024);
    size_t pos = 0;
    while (pos < b.size()) {
        if (b.compare(pos, 4, "<!--") == 0) {
            size_t end = pos + 2;
            for (;;) {
                end = b.find('>', end + 1);
                if (end == std::string_view::npos)
                    return {};
                if (b[end - 1] == '-' && b[end - 2] == '-' && end - 2 >= pos + 2)
                    break;
            }
            pos = end + 1;
            continue;
        }
        if (startsWithNoCase(b, pos, "<meta") && pos + 5 < b.size() &&
            (isAsciiSpace(b[pos + 5]) || b[pos + 5] == '/')) {
            pos += 5;
            std::string name, value, charset;
            std::string seen[16];
            int seenCount = 0;
            bool gotPragma = false;
            int needPragma = -1; // -1 null, 0 false, 1 true
            while (nextAttribute(b, pos, name, value)) {
                bool repeated = false;
                for (int i = 0; i < seenCount; ++i)
                    repeated = repeated || seen[i] == name;
                if (repeated)
                    continue;
                if (seenCount < 16)
                    seen[seenCount++] = name;
                if (name == "http-equiv" && value == "content-type") {
                    gotPragma = true;
                } else if (name == "content") {
                    const std::string found = charsetFromContent(value);
                    if (!found.empty() && charset.empty()) {
                        charset = found;
                        needPragma = 1;
                    }
                } else if (name == "charset") {
                    charset = forLabel(value);
                    needPragma = 0;
                }
            }
            if (needPragma == -1 || (needPragma == 1 && !gotPragma) || charset.empty()) {
                ++pos;
                continue;
            }
            if (charset == "UTF-16BE" || charset == "UTF-16LE")
                charset = "UTF-8";
            if (charset == "x-user-defined")
                charset = "windows-1252";
            if (!decodable(charset)) {
                ++pos;
                continue;
            }
            return charset;
        }
        if (b[pos] == '<' && pos + 1 < b.size()) {
            const unsigned char next = lowerChar(b[pos + 1]);
            const bool endTag = next == '/';
            const unsigned char letter =
                endTag && pos + 2 < b.size() ? lowerChar(b[pos + 2]) : next;
            if (letter >= 'a' && letter <= 'z') {
                pos += endTag ? 2 : 1;
                while (pos < b.size() && !isAsciiSpace(b[pos]) && b[pos] != '>')
                    ++pos;
                std::string name, value;
                while (nextAttribute(b, pos, name, value)) {
                }
                ++pos;
                continue;
            }
            if (next == '!' || next == '/' || next == '?') {
                const size_t end = b.find('>', pos + 1);
                if (end == std::string_view::npos)
                    return {};
                pos = end + 1;
                continue;
            }
        }
        ++pos;
    }
    return {};
}

bool looksLikeUtf8(std::string_view bytes, bool truncated)
{
    const Utf8::Check check = Utf8::check(bytes.data(), bytes.size());
    if (check.verdict == Utf8::Check::CutShort)
        return truncated && check.multiByte;
    return check.verdict == Utf8::Check::Valid && check.multiByte;
}

std::string detect(std::string_view bytes, bool truncated)
{
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF")
        return "UTF-8";
    if (bytes.substr(0, 2) == "\xFF\xFE")
        return "UTF-16LE";
    if (bytes.substr(0, 2) == "\xFE\xFF")
        return "UTF-16BE";
    std::string declared = prescan(bytes);
    if (!declared.empty())
        return declared;
    if (looksLikeUtf8(bytes, truncated))
        return "UTF-8";
    size_t high = 0;
    for (const char c : bytes.substr(0, 1 << 20))
        high += (unsigned char)c >= 0x80;
    if (high == 0)
        return "windows-1252";
    // A detector guesses wildly on a few bytes: a short Western page with two
    // accented letters must not come out as Cyrillic. Single-byte answers need
    // more evidence; multi-byte ones are checked by their structure.
    const std::string guess = detectorAnswer(bytes);
    if (guess.empty() || !decodable(guess))
        return "windows-1252";
    if (!isMultiByteEncoding(guess) && guess != "windows-1252" && high < 16)
        return "windows-1252";
    return guess;
}

std::string toUtf8(std::string_view bytes, bool truncated, std::string* encoding)
{
    const std::string name = detect(bytes, truncated);
    if (encoding)
        *encoding = name;
    if (name == "UTF-8") {
        if (bytes.substr(0, 3) == "\xEF\xBB\xBF")
            bytes.remove_prefix(3);
        return std::string(bytes); // the parser replaces malformed sequences itself
    }
    if (name == "replacement")
        return bytes.empty() ? std::string() : std::string("\xEF\xBF\xBD");
    if (name == "x-user-defined") {
        QString text;
        text.reserve(qsizetype(bytes.size()));
        for (const char c : bytes)
            text += (unsigned char)c < 0x80 ? QChar(c) : QChar(0xF780 + (unsigned char)c - 0x80);
        return text.toStdString();
    }
    if (name.rfind("UTF-16", 0) == 0 && bytes.size() >= 2 &&
        (bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF"))
        bytes.remove_prefix(2);
    QStringDecoder decoder(converterName(name));
    if (!decoder.isValid())
        decoder = QStringDecoder(QStringConverter::Latin1);
    const QString text = decoder.decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
    return text.toStdString();
}

} // namespace PageEncoding
