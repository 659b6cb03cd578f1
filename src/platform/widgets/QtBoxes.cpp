#include "platform/widgets/QtBoxes.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSpacerItem>
#include <QStyle>
#include <QVBoxLayout>

namespace {

QString& storedApplicationTitle()
{
    static QString title;
    return title;
}

// Room left for the window manager's title bar and borders around a box.
constexpr int kDecorationAllowance = 64;

QRect availableArea(QWidget* parent)
{
    QScreen* screen = parent ? parent->screen() : nullptr;
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect(0, 0, 800, 600);
}

// Wide enough for the window manager to show the whole title beside its
// buttons: a narrow box would cut "Quenby" down to "Q...".
int widthForTitle(const QString& title)
{
    constexpr int kTitleBarButtons = 160;
    QFont titleFont = QApplication::font();
    titleFont.setBold(true);
    return QFontMetrics(titleFont).horizontalAdvance(title) * 5 / 4 + kTitleBarButtons;
}

} // namespace

QtBoxes::QtBoxes(QWidget* parent) : m_parent(parent) {}

QString QtBoxes::displayText(const QString& text)
{
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

void QtBoxes::setApplicationTitle(const QString& title)
{
    storedApplicationTitle() = title;
}

QString QtBoxes::applicationTitle()
{
    const QString& title = storedApplicationTitle();
    return title.isEmpty() ? QCoreApplication::applicationName() : title;
}

QString QtBoxes::effectiveTitle(const QString& title)
{
    return title.isEmpty() ? applicationTitle() : title;
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
    // A message box sizes itself to its text; a spacer across its grid keeps it
    // from getting narrower than its title.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(widthForTitle(box.windowTitle()), 0, QSizePolicy::Minimum,
                                      QSizePolicy::Minimum),
                      grid->rowCount(), 0, 1, grid->columnCount());
    // A box taller than the screen (the closing message of a run that passed
    // over many files) would put its buttons out of reach: it scrolls instead.
    const int maxHeight = availableArea(m_parent).height() - kDecorationAllowance;
    if (box.sizeHint().height() > maxHeight)
        return scrollingMessage(text, title, icon, buttons, maxHeight);
    const int answer = box.exec();
    if (buttons == BoxButtons::YesNo)
        return answer == QMessageBox::Yes ? BoxAnswer::Yes : BoxAnswer::No;
    return BoxAnswer::Ok;
}

BoxAnswer QtBoxes::scrollingMessage(const QString& text, const QString& title, BoxIcon icon,
                                    BoxButtons buttons, int maxHeight)
{
    QDialog dialog(m_parent);
    dialog.setObjectName(QStringLiteral("ScrollingMessageBox"));
    dialog.setWindowTitle(effectiveTitle(title));
    dialog.setModal(true);

    auto* label = new QLabel(displayText(text));
    label->setObjectName(QStringLiteral("MessageText"));
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setContentsMargins(4, 4, 4, 4);

    auto* scroll = new QScrollArea;
    scroll->setWidget(label);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setFocusPolicy(Qt::StrongFocus);
    scroll->setAccessibleName(QStringLiteral("Message"));

    auto* row = new QHBoxLayout;
    if (icon == BoxIcon::Warning) {
        auto* iconLabel = new QLabel;
        const int size = dialog.style()->pixelMetric(QStyle::PM_MessageBoxIconSize);
        iconLabel->setPixmap(
            dialog.style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(size, size));
        iconLabel->setAlignment(Qt::AlignTop);
        row->addWidget(iconLabel);
    }
    row->addWidget(scroll, 1);

    auto* buttonBox = new QDialogButtonBox(buttons == BoxButtons::YesNo
                                               ? QDialogButtonBox::Yes | QDialogButtonBox::No
                                               : QDialogButtonBox::Ok);
    QAbstractButton* yes = buttonBox->button(QDialogButtonBox::Yes);
    QObject::connect(buttonBox, &QDialogButtonBox::clicked, &dialog,
                     [&dialog, yes](QAbstractButton* clicked) {
                         dialog.done(clicked == yes ? QDialog::Accepted : QDialog::Rejected);
                     });

    // The buttons stand outside the scrolled text, so they are always in view.
    auto* layout = new QVBoxLayout(&dialog);
    layout->addLayout(row, 1);
    layout->addWidget(buttonBox);

    const QRect area = availableArea(m_parent);
    const int scrollBar = dialog.style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const int width =
        std::min(label->sizeHint().width() + scrollBar + 80, area.width() - kDecorationAllowance);
    dialog.resize(std::max({width, 300, widthForTitle(dialog.windowTitle())}), maxHeight);
    dialog.setMaximumHeight(maxHeight);
    // The text has the focus, so the keys scroll it; Return still answers with
    // OK or Yes, the default button.
    buttonBox->button(buttons == BoxButtons::YesNo ? QDialogButtonBox::Yes : QDialogButtonBox::Ok)
        ->setDefault(true);
    scroll->setFocus();

    const int answer = dialog.exec();
    if (buttons == BoxButtons::YesNo)
        return answer == QDialog::Accepted ? BoxAnswer::Yes : BoxAnswer::No;
    return BoxAnswer::Ok;
}

QString QtBoxes::input(const QString& prompt, const QString& title, const QString& defaultText)
{
    QInputDialog dialog(m_parent);
    dialog.setWindowTitle(effectiveTitle(title));
    dialog.setLabelText(displayText(prompt));
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setTextValue(defaultText);
    // The dialog's layout fixes its size to its contents, so the room for the
    // title is given to the text field.
    const int margins = 2 * dialog.style()->pixelMetric(QStyle::PM_LayoutLeftMargin);
    if (auto* edit = dialog.findChild<QLineEdit*>())
        edit->setMinimumWidth(widthForTitle(dialog.windowTitle()) - margins);
    return dialog.exec() == QDialog::Accepted ? dialog.textValue() : QString();
}
