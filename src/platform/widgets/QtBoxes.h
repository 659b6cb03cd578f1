#pragma once

#include "platform/Boxes.h"

#include <QPointer>

class QWidget;

// Message and input boxes as Qt dialogs, modal over the main window. A box that
// gives no title of its own shows the application title. Titles are shown as
// given: the application's display name is never appended to them.
class QtBoxes : public Boxes
{
public:
    explicit QtBoxes(QWidget* parent = nullptr);

    BoxAnswer message(const QString& text, const QString& title = {}, BoxIcon icon = BoxIcon::None,
                      BoxButtons buttons = BoxButtons::Ok) override;
    QString input(const QString& prompt, const QString& title, const QString& defaultText) override;

    // The texts break their lines with CR LF or with a CR alone; a label breaks
    // only at LF, so both become one line break for display.
    static QString displayText(const QString& text);
    static QString effectiveTitle(const QString& title);

    // The title of every box that gives none. Kept here rather than as Qt's
    // application display name, which Qt would append to every window title.
    static void setApplicationTitle(const QString& title);
    static QString applicationTitle();

private:
    BoxAnswer scrollingMessage(const QString& text, const QString& title, BoxIcon icon,
                               BoxButtons buttons, int maxHeight);

    QPointer<QWidget> m_parent;
};
