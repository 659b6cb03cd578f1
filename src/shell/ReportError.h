#pragma once

#include "platform/Trap.h"

class Boxes;

// The one failure report of the window: a warning box titled "Application
// Error" with the report text and an OK button.
class ReportError : public ErrorReporter
{
public:
    explicit ReportError(Boxes& boxes);
    void reportError(const QString& label, int line, const QString& description) override;

private:
    Boxes& m_boxes;
};
