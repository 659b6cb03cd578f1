// The Qt side of the platform services the window uses: real message and input
// boxes answered by a simulated user, the window pointer, the progress bar and
// the desktop folder.

#include "platform/widgets/QtBoxes.h"
#include "platform/widgets/QtDesktopShell.h"
#include "platform/widgets/WindowPointer.h"
#include "platform/widgets/QtProgressBar.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

namespace {

// Acts on the next modal box as soon as it is up, as a user would.
class BoxWatcher
{
public:
    explicit BoxWatcher(std::function<void(QWidget*)> act) : m_act(std::move(act))
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (QWidget* box = QApplication::activeModalWidget()) {
                m_timer.stop();
                m_act(box);
            }
        });
        m_timer.start(10);
    }

private:
    std::function<void(QWidget*)> m_act;
    QTimer m_timer;
};

} // namespace

class TestQtServices : public QObject
{
    Q_OBJECT
private slots:
    void lineBreaksShowAsLineBreaks_data();
    void lineBreaksShowAsLineBreaks();
    void messageBoxShowsTextTitleAndIcon_data();
    void messageBoxShowsTextTitleAndIcon();
    void inputBoxAnswersTheTextOrNothingOnCancel_data();
    void inputBoxAnswersTheTextOrNothingOnCancel();
    void windowPointerShapes();
    void progressBarShowsItsCaptionAndTenths();
    void desktopFolderEndsInOneSeparator();
};

void TestQtServices::lineBreaksShowAsLineBreaks_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");
    QTest::newRow("CR LF") << "a\r\nb"
                           << "a\nb";
    QTest::newRow("CR alone") << "a\r\rb"
                              << "a\n\nb";
    QTest::newRow("mixed") << "a\r\n\r\nb\rc"
                           << "a\n\nb\nc";
    QTest::newRow("LF kept") << "a\nb"
                             << "a\nb";
}

void TestQtServices::lineBreaksShowAsLineBreaks()
{
    QFETCH(QString, text);
    QFETCH(QString, shown);
    QCOMPARE(QtBoxes::displayText(text), shown);
}

void TestQtServices::messageBoxShowsTextTitleAndIcon_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("warning");
    QTest::addColumn<bool>("yesNo");
    QTest::addColumn<QString>("expectedTitle");
    QTest::newRow("application title") << "" << false << false << "Quenby Test";
    QTest::newRow("report") << "Application Error" << true << false << "Application Error";
    QTest::newRow("question") << "" << false << true << "Quenby Test";
}

void TestQtServices::messageBoxShowsTextTitleAndIcon()
{
    QFETCH(QString, title);
    QFETCH(bool, warning);
    QFETCH(bool, yesNo);
    QFETCH(QString, expectedTitle);
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Quenby Test"));
    QWidget owner;
    QtBoxes boxes(&owner);

    QString seenTitle, seenText;
    QMessageBox::Icon seenIcon = QMessageBox::NoIcon;
    QStringList seenButtons;
    BoxWatcher watcher([&](QWidget* widget) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        QVERIFY(box);
        seenTitle = box->windowTitle();
        seenText = box->text();
        seenIcon = box->icon();
        for (QAbstractButton* button : box->buttons())
            seenButtons.append(box->standardButton(button) == QMessageBox::Yes  ? "Yes"
                               : box->standardButton(button) == QMessageBox::No ? "No"
                                                                                : "Ok");
        box->button(yesNo ? QMessageBox::Yes : QMessageBox::Ok)->click();
    });
    const BoxAnswer answer = boxes.message(QStringLiteral("first\r\rsecond"), title,
                                           warning ? BoxIcon::Warning : BoxIcon::None,
                                           yesNo ? BoxButtons::YesNo : BoxButtons::Ok);

    QCOMPARE(answer, yesNo ? BoxAnswer::Yes : BoxAnswer::Ok);
    QCOMPARE(seenTitle, expectedTitle);
    QCOMPARE(seenText, QStringLiteral("first\n\nsecond"));
    QCOMPARE(seenIcon, warning ? QMessageBox::Warning : QMessageBox::NoIcon);
    seenButtons.sort();
    const QStringList expectedButtons = yesNo ? QStringList{"No", "Yes"} : QStringList{"Ok"};
    QCOMPARE(seenButtons, expectedButtons);
}

void TestQtServices::inputBoxAnswersTheTextOrNothingOnCancel_data()
{
    QTest::addColumn<bool>("accept");
    QTest::addColumn<QString>("answer");
    QTest::newRow("typed") << true << "3";
    QTest::newRow("cancelled") << false << "";
}

void TestQtServices::inputBoxAnswersTheTextOrNothingOnCancel()
{
    QFETCH(bool, accept);
    QFETCH(QString, answer);
    QtBoxes boxes;
    QString seenDefault, seenTitle;
    BoxWatcher watcher([&](QWidget* widget) {
        auto* dialog = qobject_cast<QInputDialog*>(widget);
        QVERIFY(dialog);
        seenDefault = dialog->textValue();
        seenTitle = dialog->windowTitle();
        dialog->setTextValue(QStringLiteral("3"));
        accept ? dialog->accept() : dialog->reject();
    });
    QCOMPARE(boxes.input(QStringLiteral("Enter X"), QStringLiteral("Input X"), QStringLiteral("1")),
             answer);
    QCOMPARE(seenDefault, QStringLiteral("1"));
    QCOMPARE(seenTitle, QStringLiteral("Input X"));
}

void TestQtServices::windowPointerShapes()
{
    QWidget window;
    WindowPointer pointer(&window);
    pointer.setShape(PointerShape::Busy);
    QVERIFY(pointer.isBusy());
    QCOMPARE(window.cursor().shape(), Qt::WaitCursor);
    pointer.setShape(PointerShape::Custom);
    QCOMPARE(window.cursor().shape(), Qt::ArrowCursor); // no hand cursor loaded yet
    QPixmap hand(8, 8);
    hand.fill(Qt::black);
    pointer.setCustomCursor(QCursor(hand, 2, 3));
    QCOMPARE(window.cursor().shape(), Qt::BitmapCursor);
    QCOMPARE(window.cursor().hotSpot(), QPoint(2, 3));
    pointer.setShape(PointerShape::Default);
    QCOMPARE(window.cursor().shape(), Qt::ArrowCursor);
    QCOMPARE(pointer.shape(), PointerShape::Default);
}

void TestQtServices::progressBarShowsItsCaptionAndTenths()
{
    CaptionedProgressBar bar;
    QtProgressBar progress(&bar);
    progress.setText(QStringLiteral("Progress Bar"));
    QCOMPARE(bar.text(), QStringLiteral("Progress Bar"));
    progress.setText(QStringLiteral("100% %p %v"));
    QCOMPARE(bar.text(), QStringLiteral("100% %p %v"));

    const struct
    {
        double percent;
        int value;
    } cases[] = {{0, 0}, {50, 500}, {66.66, 667}, {100, 1000}, {150, 1000}, {-3, 0}};
    for (const auto& c : cases) {
        progress.setValue(c.percent);
        QCOMPARE(bar.value(), c.value);
    }
}

void TestQtServices::desktopFolderEndsInOneSeparator()
{
    const QString folder = QtDesktopShell().desktopFolder();
    QVERIFY(folder.endsWith(QLatin1Char('/')));
    QVERIFY(!folder.endsWith(QStringLiteral("//")));
    QVERIFY(folder.startsWith(QLatin1Char('/')));
}

QTEST_MAIN(TestQtServices)
#include "tst_qtservices.moc"
