#include "options/HelpTexts.h"

namespace HelpTexts {

namespace {
const QString kCr = QStringLiteral("\r");
const QString kCrLf = QStringLiteral("\r\n");
} // namespace

QString general()
{
    return QStringLiteral("This program will:") + kCr + kCr +
           QStringLiteral(
               "read text from a HTML. This text is usually typed into the HTML using the "
               "keyboard.") +
           kCr + kCr + QStringLiteral("This program will not:") + kCr + kCr +
           QStringLiteral("read text that is inside an image. Even though the image is embedded "
                          "within a HTML file, it is still an image and \"unreadable\".");
}

QString content(const QString& firstMethod, const QString& secondMethod)
{
    return QStringLiteral("Rename by content:") + kCrLf + kCrLf + firstMethod +
           QStringLiteral(" - if you enter 5, this software will rename each file by the first 5 "
                          "words found on the first page.") +
           kCrLf + kCrLf + secondMethod +
           QStringLiteral(" - if you enter 11, 12, 13 then the 11th, 12th and 13th word in the "
                          "first page will be used to rename the file.");
}

QString metadata()
{
    static const char* const codes[] = {"%a - Author",       "%t - Title",        "%s - Subject",
                                        "%c - Creator",      "%p - Producer",     "%k - Keywords",
                                        "%d - Date Created", "%m - Date Modified"};
    QString text = QStringLiteral("Rename by metadata:") + kCrLf + kCrLf;
    for (const char* code : codes) {
        if (code != codes[0])
            text += kCrLf;
        text += QLatin1String(code);
    }
    return text;
}

} // namespace HelpTexts
