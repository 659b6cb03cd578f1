#pragma once

#include "platform/Failure.h"

#include <QString>

// Where trapped failures go: the window shows a box, the command line prints to
// standard error, tests record them.
class ErrorReporter
{
public:
    virtual ~ErrorReporter() = default;
    virtual void reportError(const QString& label, int line, const QString& description) = 0;

    // The same report with the failure itself and the file or folder it concerns
    // (empty when the routine works on none), for reporters that say more than the
    // description. By default only the description is shown.
    virtual void reportFailure(const QString& label, int line, const Failure& failure,
                               const QString& subject)
    {
        Q_UNUSED(subject);
        reportError(label, line, failure.description());
    }
};
