#pragma once

#include "platform/DesktopShell.h"

// The desktop's default handlers for folders and addresses, detached programs,
// and the user's desktop folder.
class QtDesktopShell : public DesktopShell
{
public:
    void openFolder(const QString& path) override;
    void openUrl(const QString& url) override;
    void startDetached(const QString& program, const QStringList& arguments) override;
    QString desktopFolder() const override;
};
