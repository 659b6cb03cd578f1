// The Qt side of the platform services the window uses: real message and input
// boxes answered by a simulated user, the window pointer, the progress bar and
// the desktop folder.

#include "platform/widgets/QtBoxes.h"
#include "platform/widgets/QtDesktopShell.h"
#include "platform/widgets/QtFileDialogs.h"
#include "platform/widgets/QtProgressBar.h"
#include "platform/widgets/WindowPointer.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScopeGuard>
#include <QScrollArea>
#include <QTemporaryDir>
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
    void boxTitlesAsGiven_data();
    void boxTitlesAsGiven();
    void boxTallerThanTheScreenScrolls_data();
    void boxTallerThanTheScreenScrolls();
    void windowPointerShapes();
    void progressBarShowsItsCaptionAndTenths();
    void desktopFolderEndsInOneSeparator();
    void desktopFolderAsTheDesktopNamesIt_data();
    void desktopFolderAsTheDesktopNamesIt();
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
    QtBoxes::setApplicationTitle(QStringLiteral("Quenby Test"));
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

void TestQtServices::boxTitlesAsGiven_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("shown");
    QTest::newRow("report") << "message"
                            << "Application Error"
                            << "Application Error";
    QTest::newRow("message without title") << "message"
                                           << ""
                                           << "Quenby";
    QTest::newRow("input X") << "input"
                             << "Input X"
                             << "Input X";
    QTest::newRow("input N") << "input"
                             << "Input N"
                             << "Input N";
    QTest::newRow("input positions") << "input"
                                     << "Input X1, X2, X3"
                                     << "Input X1, X2, X3";
    QTest::newRow("input without title") << "input"
                                         << ""
                                         << "Quenby";
    QTest::newRow("folder browser") << "folder"
                                    << "Please select folder:"
                                    << "Please select folder:";
    QTest::newRow("open files") << "files"
                                << "Add HTML File(s)"
                                << "Add HTML File(s)";
}

void TestQtServices::boxTitlesAsGiven()
{
    QFETCH(QString, kind);
    QFETCH(QString, title);
    QFETCH(QString, shown);
    // As the window sets it at start-up; a display name, if one were set, is
    // what Qt appends to every title.
    QtBoxes::setApplicationTitle(QStringLiteral("Quenby"));
    QWidget owner;
    QtBoxes boxes(&owner);
    QtFileDialogs dialogs(&owner);
    QString seenTitle;
    QString seenWindowTitle;
    int seenWidth = 0;
    BoxWatcher watcher([&](QWidget* box) {
        seenWidth = box->frameGeometry().width();
        seenTitle = box->windowTitle();
        seenWindowTitle = box->windowHandle() ? box->windowHandle()->title() : seenTitle;
        if (auto* dialog = qobject_cast<QDialog*>(box))
            dialog->reject();
    });
    if (kind == "message")
        boxes.message(QStringLiteral("text"), title);
    else if (kind == "input")
        boxes.input(QStringLiteral("Enter X"), title, QString());
    else if (kind == "folder")
        dialogs.browseForFolder(title, QDir::tempPath());
    else
        dialogs.openFiles(title, QStringLiteral("HTML Files (*.htm)|*.htm|"));
    QCOMPARE(seenTitle, shown);
    QCOMPARE(seenWindowTitle, shown);
    // Room for the whole title beside the title bar's buttons, however short the text.
    QVERIFY2(seenWidth >= QFontMetrics(QApplication::font()).horizontalAdvance(shown) + 120,
             qPrintable(QString::number(seenWidth)));
    QCOMPARE(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
}

void TestQtServices::boxTallerThanTheScreenScrolls_data()
{
    QTest::addColumn<int>("skipped");
    QTest::addColumn<bool>("yesNo");
    QTest::newRow("done, 500 skipped") << 500 << false;
    QTest::newRow("done, 5000 skipped") << 5000 << false;
    QTest::newRow("question, 500 lines") << 500 << true;
    QTest::newRow("done, 3 skipped") << 3 << false;
}

void TestQtServices::boxTallerThanTheScreenScrolls()
{
    QFETCH(int, skipped);
    QFETCH(bool, yesNo);
    QString text = QStringLiteral("Done.\r\nThese were skipped:");
    for (int i = 0; i < skipped; ++i)
        text += QStringLiteral("\r\n/home/someone/pages/folder %1/page %1.htm").arg(i);
    QWidget owner;
    QtBoxes boxes(&owner);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();

    QString seenText;
    QRect boxRect;
    QRect buttonRect;
    bool buttonVisible = false;
    BoxWatcher watcher([&](QWidget* box) {
        QAbstractButton* accept = nullptr;
        for (QAbstractButton* button : box->findChildren<QAbstractButton*>()) {
            const QString caption = button->text().remove(u'&');
            if (caption == (yesNo ? "Yes" : "OK"))
                accept = button;
        }
        QVERIFY(accept);
        if (auto* messageBox = qobject_cast<QMessageBox*>(box))
            seenText = messageBox->text();
        else if (auto* label = box->findChild<QLabel*>(QStringLiteral("MessageText")))
            seenText = label->text();
        boxRect = box->frameGeometry();
        buttonRect = QRect(accept->mapTo(box, QPoint(0, 0)), accept->size());
        buttonVisible = accept->isVisible();
        // Return answers with the default button, wherever the focus is in the box.
        QWidget* focus = box->focusWidget();
        QTest::keyClick(focus ? focus : box, Qt::Key_Return);
    });
    const BoxAnswer answer =
        boxes.message(text, QString(), BoxIcon::None, yesNo ? BoxButtons::YesNo : BoxButtons::Ok);
    QCOMPARE(answer, yesNo ? BoxAnswer::Yes : BoxAnswer::Ok);
    QCOMPARE(seenText, QtBoxes::displayText(text));
    QVERIFY2(boxRect.height() <= screen.height(),
             qPrintable(QStringLiteral("%1 > %2").arg(boxRect.height()).arg(screen.height())));
    QVERIFY(boxRect.width() <= screen.width());
    // The button lies inside the box, not below a scrolled part.
    QVERIFY(buttonVisible);
    QVERIFY(buttonRect.bottom() < boxRect.height());
    QVERIFY(buttonRect.right() < boxRect.width());
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

void TestQtServices::desktopFolderAsTheDesktopNamesIt_data()
{
    QTest::addColumn<QString>("named"); // the line in user-dirs.dirs, if any
    QTest::addColumn<QString>("existing");
    QTest::addColumn<QString>("expected");
    QTest::newRow("named in the user's language") << "\"$HOME/Schreibtisch\""
                                                  << "Schreibtisch"
                                                  << "Schreibtisch/";
    QTest::newRow("named but missing") << "\"$HOME/Schreibtisch\""
                                       << "Desktop"
                                       << "";
    QTest::newRow("not named, the usual folder") << ""
                                                 << "Desktop"
                                                 << "Desktop/";
    QTest::newRow("not named, no folder") << ""
                                          << ""
                                          << "";
}

void TestQtServices::desktopFolderAsTheDesktopNamesIt()
{
    QFETCH(QString, named);
    QFETCH(QString, existing);
    QFETCH(QString, expected);
    QTemporaryDir home;
    QVERIFY(home.isValid());
    const QByteArray oldHome = qgetenv("HOME");
    const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    const auto restore = qScopeGuard([&] {
        qputenv("HOME", oldHome);
        if (oldConfig.isNull())
            qunsetenv("XDG_CONFIG_HOME");
        else
            qputenv("XDG_CONFIG_HOME", oldConfig);
    });
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(QStringLiteral("config"))));
    QVERIFY(QDir(home.path()).mkpath(QStringLiteral("config")));
    if (!existing.isEmpty())
        QVERIFY(QDir(home.path()).mkpath(existing));
    if (!named.isEmpty()) {
        QFile dirs(home.filePath(QStringLiteral("config/user-dirs.dirs")));
        QVERIFY(dirs.open(QIODevice::WriteOnly));
        dirs.write("XDG_DESKTOP_DIR=" + named.toUtf8() + "\n");
    }
    QCOMPARE(QtDesktopShell().desktopFolder(), home.path() + u'/' + expected);
}

QTEST_MAIN(TestQtServices)
#include "tst_qtservices.moc"
