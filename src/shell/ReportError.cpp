#include "shell/ReportError.h"

#include "platform/Boxes.h"

ReportError::ReportError(Boxes& boxes) : m_boxes(boxes) {}

void ReportError::reportError(const QString& label, int line, const QString& description)
{
    m_boxes.message(errorReportText(label, line, description), QStringLiteral("Application Error"),
                    BoxIcon::Warning, BoxButtons::Ok);
}
