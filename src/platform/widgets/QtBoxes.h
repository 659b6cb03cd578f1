#pragma once

#include "platform/Boxes.h"

#include <QPointer>

class QWidget;

// Message and input boxes as Qt dialogs, modal over the main window. A box that
// gives no title of its own shows the application title.
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

private:
    QPointer<QWidget> m_parent;
};
