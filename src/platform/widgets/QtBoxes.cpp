#include "platform/widgets/QtBoxes.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>

QtBoxes::QtBoxes(QWidget* parent) : m_parent(parent) {}

QString QtBoxes::displayText(const QString& text)
{
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

QString QtBoxes::effectiveTitle(const QString& title)
{
    if (!title.isEmpty())
        return title;
    return QGuiApplication::applicationDisplayName();
}

BoxAnswer QtBoxes::message(const QString& text, const QString& title, BoxIcon icon,
                           BoxButtons buttons)
{
    QMessageBox box(icon == BoxIcon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon,
                    effectiveTitle(title), displayText(text),
                    buttons == BoxButtons::YesNo ? QMessageBox::Yes | QMessageBox::No
                                                 : QMessageBox::Ok,
                    m_parent);
    box.setTextFormat(Qt::PlainText);
    const int answer = box.exec();
    if (buttons == BoxButtons::YesNo)
        return answer == QMessageBox::Yes ? BoxAnswer::Yes : BoxAnswer::No;
    return BoxAnswer::Ok;
}

QString QtBoxes::input(const QString& prompt, const QString& title, const QString& defaultText)
{
    bool ok = false;
    const QString answer = QInputDialog::getText(
        m_parent, effectiveTitle(title), displayText(prompt), QLineEdit::Normal, defaultText, &ok);
    return ok ? answer : QString();
}
