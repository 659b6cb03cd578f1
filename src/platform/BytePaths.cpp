#include "platform/FileSystem.h"
#include "platform/SystemErrors.h"
#include "platform/Utf8.h"

#include <dirent.h>

namespace FileSystem {

using namespace detail;

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

bool isEscapedByte(char16_t u)
{
    return u >= 0xDC80 && u <= 0xDCFF;
}

} // namespace

QByteArray nativePath(const QString& path)
{
    QByteArray bytes;
    bytes.reserve(path.size());
    const qsizetype n = path.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = path.at(i).unicode();
        if (u < 0x80) {
            bytes.append(char(u));
            continue;
        }
        if (isEscapedByte(u)) {
            bytes.append(char(u - kEscapeBase));
            continue;
        }
        char32_t cp = u;
        if (QChar::isHighSurrogate(u) && i + 1 < n && path.at(i + 1).isLowSurrogate()) {
            cp = QChar::surrogateToUcs4(u, path.at(i + 1).unicode());
            ++i;
        } else if (QChar::isSurrogate(u)) {
            cp = 0xFFFD; // no name holds it; it cannot come from a disk
        }
        Utf8::append(bytes, cp);
    }
    return bytes;
}

QString pathFromNative(QByteArrayView bytes)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const qsizetype n = bytes.size();
    QString path;
    path.reserve(n);
    qsizetype i = 0;
    while (i < n) {
        const Utf8::Sequence sequence = Utf8::decode(p + i, size_t(n - i));
        const qsizetype length = sequence.length;
        const char32_t cp = sequence.codePoint;
        if (length == 0) {
            path.append(QChar(char16_t(kEscapeBase + p[i])));
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            path.append(QChar(QChar::highSurrogate(cp)));
            path.append(QChar(QChar::lowSurrogate(cp)));
        } else {
            path.append(QChar(char16_t(cp)));
        }
        i += length;
    }
    return path;
}

QString displayPath(const QString& path)
{
    QString shown = path;
    for (qsizetype i = 0; i < shown.size(); ++i) {
        const char16_t u = shown.at(i).unicode();
        const bool paired = QChar::isLowSurrogate(u) && i > 0 && shown.at(i - 1).isHighSurrogate();
        if (isEscapedByte(u) && !paired)
            shown[i] = QChar::ReplacementCharacter;
    }
    return shown;
}

QString recoverPath(const QString& lossyPath)
{
    if (!lossyPath.contains(QChar::ReplacementCharacter))
        return lossyPath;
    const QStringList parts = lossyPath.split(u'/');
    QString path = parts.first();
    for (qsizetype k = 1; k < parts.size(); ++k) {
        const QString& part = parts.at(k);
        QString chosen = part;
        if (part.contains(QChar::ReplacementCharacter)) {
            const QByteArray folder = nativePath(path.isEmpty() ? QStringLiteral("/") : path);
            if (DIR* dir = ::opendir(folder.constData())) {
                int matches = 0;
                while (const dirent* entry = ::readdir(dir)) {
                    const QByteArrayView name(entry->d_name);
                    if (QString::fromUtf8(name) == part && ++matches == 1)
                        chosen = pathFromNative(name);
                }
                ::closedir(dir);
                if (matches != 1)
                    chosen = part;
            }
        }
        path += u'/' + chosen;
    }
    return path;
}

void appendJsonString(QByteArray& out, QStringView text)
{
    static const char hex[] = "0123456789abcdef";
    auto escaped = [&](char16_t c) {
        const char code[] = {
            '\\', 'u', hex[(c >> 12) & 15], hex[(c >> 8) & 15], hex[(c >> 4) & 15], hex[c & 15]};
        out.append(code, sizeof code);
    };
    out.append('"');
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x80) {
            switch (c) {
            case u'"':
                out.append("\\\"", 2);
                break;
            case u'\\':
                out.append("\\\\", 2);
                break;
            case u'\b':
                out.append("\\b", 2);
                break;
            case u'\f':
                out.append("\\f", 2);
                break;
            case u'\n':
                out.append("\\n", 2);
                break;
            case u'\r':
                out.append("\\r", 2);
                break;
            case u'\t':
                out.append("\\t", 2);
                break;
            default:
                if (c < 0x20)
                    escaped(c);
                else
                    out.append(char(c));
            }
        } else if (QChar::isHighSurrogate(c) && i + 1 < n && text[i + 1].isLowSurrogate()) {
            Utf8::append(out, QChar::surrogateToUcs4(c, text[i + 1].unicode()));
            ++i;
        } else if (QChar::isSurrogate(c)) {
            escaped(c);
        } else {
            Utf8::append(out, c);
        }
    }
    out.append('"');
}

} // namespace FileSystem
