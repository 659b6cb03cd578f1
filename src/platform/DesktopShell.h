#pragma once

#include <QString>
#include <QStringList>

// What the desktop offers a program: opening a folder or an address in the
// user's file manager or browser, and starting another program without waiting.
class DesktopShell
{
public:
    virtual ~DesktopShell() = default;
    // Opens a folder (or a file URL) with the desktop's default handler; the
    // result is not waited for.
    virtual void openFolder(const QString& path) = 0;
    virtual void openUrl(const QString& url) = 0;
    virtual void startDetached(const QString& program, const QStringList& arguments) = 0;
    // The user's desktop folder followed by one separator, or the home folder
    // when there is no desktop folder; throws Failure when neither is there.
    virtual QString desktopFolder() const = 0;
};
