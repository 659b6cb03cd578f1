#include "platform/Trap.h"

QString errorReportText(const QString& label, int line, const QString& description)
{
    return description + QStringLiteral("\r\n") + label + QStringLiteral("at line ") +
           QString::number(line) + QStringLiteral("\r\r") +
           QStringLiteral("Please email screenshot of this message to ") +
           QLatin1String(kSupportAddress);
}
