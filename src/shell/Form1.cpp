#include "shell/Form1.h"

#include "filelist/FileList.h"
#include "filelist/FileListServices.h"
#include "filelist/widgets/FileListController.h"
#include "options/HelpTexts.h"
#include "options/HoverCursor.h"
#include "options/OptionsPanel.h"
#include "platform/widgets/Twips.h"
#include "pagetext/service/HelperPageText.h"
#include "platform/Failure.h"
#include "platform/FileSystem.h"
#include "platform/QtEventPump.h"
#include "platform/QtRandom.h"
#include "platform/Trap.h"
#include "platform/widgets/QtBoxes.h"
#include "platform/widgets/QtDesktopShell.h"
#include "platform/widgets/QtFileDialogs.h"
#include "platform/widgets/QtProgressBar.h"
#include "platform/widgets/WindowPointer.h"
#include "rename/RenameRun.h"
#include "shell/ListCommands.h"
#include "shell/ListMenu.h"
#include "shell/MoreOptions.h"
#include "shell/PreviewAndUndo.h"
#include "shell/ReportError.h"
#include "shell/Samples.h"
#include "shell/SettingsStore.h"

#include <QAbstractButton>
#include <algorithm>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QSignalBlocker>
#include <QStyleOption>
#include <QTreeView>
#include <QUrl>
#include <QWindow>
#include <QtEndian>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

const QColor kWhite(0xFF, 0xFF, 0xFF);

void setBackground(QWidget* widget, const QColor& colour)
{
    // Buttons fill with their button colour, other widgets with the window colour.
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    palette.setColor(widget->backgroundRole(), colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

// A service the caller left out is made here, on Qt, and owned by the window.
template <typename Made, typename Service, typename... Arguments>
void provide(Service*& service, std::unique_ptr<Service>& own, Arguments&&... arguments)
{
    if (service)
        return;
    own = std::make_unique<Made>(std::forward<Arguments>(arguments)...);
    service = own.get();
}

QFont windowFont()
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(9);
    font.setBold(true);
    return font;
}

QFont buttonFont()
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(11.25);
    font.setBold(true);
    return font;
}

// Draws a frame as a thin line without the shaded fill some styles give it.
class PlainFrameStyle : public QProxyStyle
{
public:
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override
    {
        if (element != PE_FrameGroupBox) {
            QProxyStyle::drawPrimitive(element, option, painter, widget);
            return;
        }
        // The line starts below the caption, where the shaded frame would.
        const auto* frame = qobject_cast<const QGroupBox*>(widget);
        int top = 3;
        if (frame && (frame->isCheckable() || !frame->title().isEmpty()))
            top += std::max(pixelMetric(PM_ExclusiveIndicatorHeight, option, widget),
                            option->fontMetrics.height());
        const QRect rect = option->rect.adjusted(0, top, -1, -1);
        painter->save();
        painter->setPen(option->palette.color(QPalette::Window).darker(130));
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(rect);
        painter->restore();
    }
};

QStyle* plainFrameStyle()
{
    // Shared by the frames of every window, and kept until the program ends.
    static QPointer<QStyle> style;
    if (!style)
        style = new PlainFrameStyle;
    return style;
}

// Return and Enter on a focused button click it.
class ReturnPresses : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        const int key = static_cast<QKeyEvent*>(event)->key();
        auto* button = qobject_cast<QAbstractButton*>(watched);
        if (!button || (key != Qt::Key_Return && key != Qt::Key_Enter))
            return false;
        button->animateClick();
        return true;
    }
};

} // namespace

QString dataFolderFor(const QString& programFolder)
{
    const QString installed =
        QDir::cleanPath(programFolder + QStringLiteral("/" QUENBY_DATA_FROM_PROGRAM));
    return QFileInfo(installed).isDir() ? installed : programFolder;
}

QString applicationTitleFor(const QString& productName)
{
    QString title = productName;
    do {
        const qsizetype blank = title.lastIndexOf(QLatin1Char(' '));
        if (blank < 0)
            break;
        title.truncate(blank);
    } while (title.size() > 40);
    return title;
}

Form1::Form1(const Form1Services& services, QWidget* parent)
    : QWidget(parent), m_services(services), m_endProgram([] {
          std::fflush(nullptr);
          std::_Exit(0);
      })
{
    Q_ASSERT(m_services.settings);
    Form1Services& given = m_services;
    if (given.programFolder.isEmpty())
        given.programFolder = QCoreApplication::applicationDirPath();
    if (given.dataFolder.isEmpty())
        given.dataFolder = dataFolderFor(given.programFolder);
    provide<QtBoxes>(given.boxes, m_ownBoxes, this);
    provide<ReportError>(given.reporter, m_ownReporter, *given.boxes);
    provide<WindowPointer>(given.pointer, m_ownPointer, this);
    provide<QtDesktopShell>(given.shell, m_ownShell);
    provide<QtRandom>(given.random, m_ownRandom);
    provide<QtEventPump>(given.pump, m_ownPump);
    provide<QtFileDialogs>(given.dialogs, m_ownDialogs, this);
    provide<HelperPageText>(given.pageText, m_ownPageText,
                            given.programFolder + QStringLiteral("/quenby-pagetext"));

    m_returnPresses = new ReturnPresses(this);
    buildControls();
    attachFileList();
    attachListMenu();

    // The run reads the list and the panel through this window, as they stand
    // when it comes to each file.
    m_run = std::make_unique<RenameRun>(
        *m_fileList, *this,
        RenameRun::Surface{*m_services.boxes, *m_services.pointer, *m_progress, *m_services.pump,
                           *m_services.pageText, *m_services.reporter});
    m_previewAndUndo = new PreviewAndUndo(*this, *m_fileList, *this, *m_panel, *m_services.boxes,
                                          *m_services.pointer);
    m_run->setAnswers(&m_previewAndUndo->answers());
    m_listMenu->add(
        ListMenu::Place::PreviewNewNames, QStringLiteral("Preview New Names..."),
        [this] { m_previewAndUndo->showPreview(); }, QKeySequence(Qt::CTRL | Qt::Key_P));
    m_listMenu->add(
        ListMenu::Place::UndoLastRun, QStringLiteral("Undo Last Run..."),
        [this] { m_previewAndUndo->undoLastRun(); }, QKeySequence(Qt::CTRL | Qt::Key_Z),
        [this] { return !busy(); });

    auto* help = new QShortcut(QKeySequence::HelpContents, this);
    connect(help, &QShortcut::activated, this, &Form1::openGuide);

    connect(m_buttons[2], &QPushButton::clicked, this, &Form1::PushButton2_Click);
    connect(m_buttons[7], &QPushButton::clicked, this, &Form1::PushButton7_Click);
}

Form1::~Form1()
{
    // The list controller watches the list views' events; it goes before them,
    // so that it never sees a half-destroyed view.
    delete m_fileListController;
    delete m_hover;
}

void Form1::buildControls()
{
    setObjectName(QStringLiteral("Form1"));
    setFont(windowFont());
    setBackground(this, kWhite);
    m_designedSize = QSize(twipsToPixels(15960), twipsToPixels(6855));
    setFixedSize(m_designedSize);
    // The window cannot grow, so it offers no maximize button.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);

    auto button = [this](int number, const char* caption, QRect geometry) {
        auto* pushButton = new QPushButton(QString::fromLatin1(caption), this);
        pushButton->setObjectName(QStringLiteral("PushButton%1").arg(number));
        pushButton->setGeometry(geometry);
        m_buttons[number] = pushButton;
    };
    button(7, "Help", twipsRect(120, 120, 7800, 405));

    m_listView1 = new QTreeView(this);
    m_listView1->setObjectName(QStringLiteral("ListView1"));
    m_listView1->setGeometry(twipsRect(120, 630, 7800, 5115));

    button(1, "Add HTML File(s)", twipsRect(120, 5830, 3840, 405));
    button(5, "Add All HTML File(s) In Folder", twipsRect(4080, 5830, 3840, 405));
    button(3, "Clear List", twipsRect(120, 6350, 3840, 405));
    button(6, "Load Sample/Example Files", twipsRect(4080, 6350, 3840, 405));

    m_listView3 = new QTreeView(this);
    m_listView3->setObjectName(QStringLiteral("ListView3"));
    m_listView3->setGeometry(twipsRect(8040, 120, 7800, 1350));

    m_panel = new OptionsPanel(this, *m_services.settings, *m_services.boxes, *m_services.reporter);
    m_panel->frame1()->setGeometry(twipsRect(8040, 1530, 7800, 3285));
    m_panel->frame2()->setGeometry(twipsRect(8040, 4890, 7800, 810));
    for (int number : {4, 8, 9, 10, 11, 12, 13})
        m_buttons[number] = m_panel->pushButton(number);

    button(2, "Start Renaming", twipsRect(8040, 5830, 7800, 405));
    m_progressBar1 = new CaptionedProgressBar(this);
    m_progressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    m_progressBar1->setGeometry(twipsRect(8040, 6350, 7800, 405));
    m_progressBar1->setCaption(QStringLiteral("Progress Bar"));
    m_progress = std::make_unique<QtProgressBar>(m_progressBar1);

    // Both lists use the window's font; the push buttons a larger one.
    for (int number = 1; number <= 13; ++number)
        m_buttons[number]->setFont(buttonFont());
    for (QWidget* white : std::initializer_list<QWidget*>{
             m_panel->frame1(), m_panel->frame2(), m_panel->frame3(), m_panel->option1(),
             m_panel->option2(), m_panel->option3(), m_panel->option4(), m_panel->check1()})
        setBackground(white, kWhite);

    m_hover = new HoverCursor(*m_services.pointer, this);
    for (int number = 1; number <= 13; ++number)
        m_hover->watchButton(m_buttons[number]);
    m_hover->watchArea(this);
    m_hover->watchArea(m_panel->frame1());
    m_hover->watchArea(m_panel->frame2());
    m_hover->watchArea(m_panel->frame3());
    // Frames drawn as a line only, so that inside them it is the same white as
    // on the window and the option buttons.
    for (QGroupBox* frame : {m_panel->frame1(), m_panel->frame2(), m_panel->frame3()})
        frame->setStyle(plainFrameStyle());
    describeControls();
    recordDesignedLayout();
}

void Form1::describeControls()
{
    // What a screen reader says for each control, and the order Tab goes in:
    // down the left column, then down the right one. The visible texts stay.
    const struct
    {
        QWidget* widget;
        const char* name;
        const char* description;
    } controls[] = {
        {m_buttons[7], "Help", "Explains what Quenby does and how to use it"},
        {m_listView1, "HTML files to rename",
         "The files to rename, in the order they are renamed. Drag an entry, or press "
         "Alt+Up or Alt+Down, to move it; double-click it or press Delete to remove it; the "
         "Menu key opens more commands"},
        {m_buttons[1], "Add HTML File(s)", "Choose files to add to the list"},
        {m_buttons[5], "Add All HTML File(s) In Folder",
         "Add every file with a given extension from a folder and all its subfolders"},
        {m_buttons[3], "Clear List", "Remove every file from the list"},
        {m_buttons[6], "Load Sample/Example Files", "Add the example pages that come with Quenby"},
        {m_listView3, "HTML preview", "The first lines of the clicked file"},
        {m_panel->option1(), "Rename by content", "Form the new names from the words of the page"},
        {m_panel->combo1(), "Content method", "Which words of the page form the new name"},
        {m_buttons[8], "Help on renaming by content", "Explains the four content methods"},
        {m_panel->option3(), "Ignore tags and look at text only",
         "Take the words from the text the page shows"},
        {m_panel->option4(), "Consider HTML tags when renaming",
         "Take the words from the page's source, with its markup"},
        {m_panel->check1(), "Include tags before <BODY>",
         "With the source, start at the beginning of the page instead of at its body"},
        {m_panel->option2(), "Rename by metadata (within tags)",
         "Form the new names from values found in the page's tags"},
        {m_panel->text2(), "Metadata pattern",
         "Field codes such as %a for the author and %t for the title, laid out as the new name"},
        {m_buttons[9], "Help on renaming by metadata", "Lists the field codes of the pattern"},
        {m_buttons[10], "Sample pattern %a - %t", "Puts this pattern into the metadata pattern"},
        {m_buttons[11], "Sample pattern %a - %s", "Puts this pattern into the metadata pattern"},
        {m_buttons[12], "Sample pattern %c - %t", "Puts this pattern into the metadata pattern"},
        {m_buttons[13], "Sample pattern %c - %s", "Puts this pattern into the metadata pattern"},
        {m_panel->text1(), "Results folder", "The folder that receives the renamed copies"},
        {m_buttons[4], "Choose results folder", "Pick the results folder in a folder browser"},
        {m_buttons[2], "Start Renaming", "Copy every file of the list under its new name"},
    };
    QWidget* previous = nullptr;
    for (const auto& control : controls) {
        control.widget->setAccessibleName(QString::fromUtf8(control.name));
        control.widget->setAccessibleDescription(QString::fromUtf8(control.description));
        if (previous)
            setTabOrder(previous, control.widget);
        previous = control.widget;
    }
    const struct
    {
        QWidget* widget;
        const char* name;
    } unfocused[] = {{m_panel->frame1(), "Rename Options"},
                     {m_panel->frame2(), "Save Results To This Folder"},
                     {m_panel->frame3(), "Tag options"},
                     {m_panel->label1(), "Load Sample:"},
                     {m_progressBar1, "Progress"}};
    for (const auto& control : unfocused)
        control.widget->setAccessibleName(QString::fromUtf8(control.name));

    // Return presses the focused button as Space does; outside a dialog Qt
    // leaves Return to the default button, which this window has none of.
    for (int number = 1; number <= 13; ++number)
        m_buttons[number]->installEventFilter(m_returnPresses);
}

void Form1::recordDesignedLayout()
{
    // Controls placed by hand are the window's children and the frames'
    // children; the item views and the combo box lay out their own parts.
    const QList<QWidget*> parents{this, m_panel->frame1(), m_panel->frame2(), m_panel->frame3()};
    for (QWidget* parent : parents) {
        for (QWidget* child : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (!child->isWindow())
                m_placed.push_back({child, child->geometry()});
        }
    }
    // Placed controls get fonts of their own when scaled (a caption may need a
    // smaller one), so theirs are recorded too, with those set on purpose.
    m_fonts.push_back({this, font().pointSizeF()});
    for (QWidget* child : findChildren<QWidget*>()) {
        const bool placed = std::any_of(m_placed.begin(), m_placed.end(),
                                        [child](const Placed& p) { return p.widget == child; });
        if ((placed || child->testAttribute(Qt::WA_SetFont)) && child->font().pointSizeF() > 0)
            m_fonts.push_back({child, child->font().pointSizeF()});
    }
}

namespace {

// The caption's own width plus the indicator and the gap beside it.
bool captionFits(QWidget* widget)
{
    const QStyle* style = widget->style();
    if (auto* button = qobject_cast<QPushButton*>(widget))
        return button->fontMetrics().horizontalAdvance(button->text()) + 6 <= button->width();
    if (auto* option = qobject_cast<QRadioButton*>(widget))
        return option->fontMetrics().horizontalAdvance(option->text()) +
                   style->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, option) +
                   style->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, option) <=
               option->width();
    if (auto* check = qobject_cast<QCheckBox*>(widget))
        return check->fontMetrics().horizontalAdvance(check->text()) +
                   style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, check) +
                   style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, check) <=
               check->width();
    if (auto* label = qobject_cast<QLabel*>(widget))
        // The advance ends in a little space after the last letter.
        return label->fontMetrics().horizontalAdvance(label->text()) - 2 <= label->width();
    return true;
}

void shrinkUntilCaptionFits(QWidget* widget)
{
    for (int step = 0; step < 12 && !captionFits(widget); ++step) {
        QFont font = widget->font();
        font.setPointSizeF(font.pointSizeF() - 0.25);
        widget->setFont(font);
    }
}

} // namespace

double Form1::scaleToFit(QSize designed, QMargins decorations, QSize available)
{
    const double width = available.width() - decorations.left() - decorations.right();
    const double height = available.height() - decorations.top() - decorations.bottom();
    if (designed.isEmpty() || width <= 0 || height <= 0)
        return 1.0;
    return std::min({1.0, width / designed.width(), height / designed.height()});
}

void Form1::applyLayoutScale(double scale)
{
    if (qFuzzyCompare(scale, m_layoutScale))
        return;
    const double change = scale / m_layoutScale;
    m_layoutScale = scale;
    auto scaled = [scale](int length) { return static_cast<int>(length * scale); };
    for (const Sized& sized : m_fonts) {
        if (!sized.widget)
            continue;
        QFont font = sized.widget->font();
        font.setPointSizeF(sized.points * scale);
        sized.widget->setFont(font);
    }
    for (const Placed& placed : m_placed) {
        if (!placed.widget)
            continue;
        const QRect& r = placed.rect;
        // Edges, not sizes, are scaled, so neighbours stay flush.
        const int left = scaled(r.left());
        const int top = scaled(r.top());
        placed.widget->setGeometry(left, top, scaled(r.left() + r.width()) - left,
                                   scaled(r.top() + r.height()) - top);
    }
    // The indicators of option buttons and check boxes keep their size, so a
    // caption in a smaller font can still outgrow its control: its own font is
    // made a little smaller until the caption fits.
    if (scale < 1.0) {
        for (const Placed& placed : m_placed) {
            if (placed.widget)
                shrinkUntilCaptionFits(placed.widget);
        }
    }
    for (QTreeView* view : {m_listView1, m_listView3}) {
        if (view->header()->count() > 0)
            view->header()->resizeSection(
                0, static_cast<int>(view->header()->sectionSize(0) * change + 0.5));
    }
    setFixedSize(scaled(m_designedSize.width()), scaled(m_designedSize.height()));
}

void Form1::fitToScreen()
{
    QScreen* current = screen();
    if (!current)
        return;
    // Before the window manager has framed the window its frame is unknown; a
    // title bar and thin borders are allowed for.
    QMargins decorations(8, 36, 8, 8);
    if (QWindow* window = windowHandle()) {
        const QMargins frame = window->frameMargins();
        if (!frame.isNull())
            decorations = frame;
    }
    const QRect area = current->availableGeometry();
    applyLayoutScale(scaleToFit(m_designedSize, decorations, area.size()));

    // A window placed partly off the available area is brought back onto it.
    if (!m_placedOnScreen && isVisible()) {
        m_placedOnScreen = true;
        const QRect frame = frameGeometry();
        if (!area.contains(frame)) {
            const int x = std::clamp(frame.left(), area.left(),
                                     std::max(area.left(), area.right() + 1 - frame.width()));
            const int y = std::clamp(frame.top(), area.top(),
                                     std::max(area.top(), area.bottom() + 1 - frame.height()));
            move(x, y);
        }
    }
}

void Form1::watchScreen()
{
    QScreen* current = screen();
    if (current == m_watchedScreen)
        return;
    if (m_watchedScreen)
        disconnect(m_watchedScreen, nullptr, this, nullptr);
    m_watchedScreen = current;
    if (current)
        connect(current, &QScreen::availableGeometryChanged, this, &Form1::fitToScreen);
}

void Form1::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    watchScreen();
    fitToScreen();
}

bool Form1::event(QEvent* event)
{
    const bool handled = QWidget::event(event);
    switch (event->type()) {
    case QEvent::ScreenChangeInternal:
        watchScreen();
        fitToScreen();
        break;
    case QEvent::Move:
        // The frame's size is known once the window manager has framed it.
        if (isVisible())
            fitToScreen();
        break;
    default:
        break;
    }
    return handled;
}

void Form1::attachFileList()
{
    m_fileList = new FileList(this);
    const FileListServices services{*m_services.boxes,   *m_services.dialogs, *m_services.settings,
                                    *m_services.pointer, *m_services.pump,    *m_services.reporter};
    // The controller sets up both lists and handles their events, including the
    // pointer rule over them.
    m_fileListController = new FileListController(m_listView1, m_listView3, *m_fileList, services,
                                                  m_services.dataFolder, this);
    m_fileListController->setResultsFolderSink(
        [this](const QString& folder) { m_panel->text1()->setText(folder); });
    m_samples = std::make_unique<Samples>(*m_services.settings, *m_fileList, *m_services.boxes,
                                          *m_services.shell, m_services.dataFolder);
    m_moreOptions = std::make_unique<MoreOptions>(*m_services.settings);
    m_moreOptions->load();

    connect(m_buttons[1], &QPushButton::clicked, m_fileListController,
            &FileListController::PushButton1_Click);
    connect(m_buttons[3], &QPushButton::clicked, m_fileListController,
            &FileListController::PushButton3_Click);
    connect(m_buttons[4], &QPushButton::clicked, m_fileListController,
            &FileListController::PushButton4_Click);
    connect(m_buttons[5], &QPushButton::clicked, m_fileListController,
            &FileListController::PushButton5_Click);
    connect(m_buttons[6], &QPushButton::clicked, this,
            [this] { m_samples->PushButton6_Click(*m_services.reporter); });
}

void Form1::attachListMenu()
{
    m_listMenu = new ListMenu(m_listView1, this);
    m_listCommands = std::make_unique<ListCommands>(
        *m_fileList, *m_fileListController, *m_services.pointer, *m_services.shell,
        *m_services.boxes, [this] { return resultsFolder(); });
    m_listCommands->addTo(*m_listMenu);
    m_listMenu->add(ListMenu::Place::MoreOptions, QStringLiteral("More Options..."),
                    [this] { openMoreOptions(); }, QKeySequence(Qt::CTRL | Qt::Key_Comma));
}

void Form1::openFiles(const QStringList& paths)
{
    if (!paths.isEmpty())
        m_fileListController->addPaths(paths);
}

void Form1::bringToFront()
{
    if (isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

QPushButton* Form1::pushButton(int number) const
{
    return number >= 1 && number <= 13 ? m_buttons[number] : nullptr;
}

QString Form1::guideUrl() const
{
    return QUrl::fromLocalFile(m_services.dataFolder + QLatin1Char('/') +
                               QLatin1String(kGuideFileName))
        .toString();
}

void Form1::openGuide()
{
    const QString guide =
        m_services.dataFolder + QLatin1Char('/') + QLatin1String(kGuideFileName);
    try {
        FileSystem::requireReadableFile(guide);
    } catch (const Failure& failure) {
        m_services.boxes->message(FileSystem::displayPath(guide) + QStringLiteral("\r\r") +
                                      failure.description(),
                                  {}, BoxIcon::Warning);
        return;
    }
    m_services.shell->openUrl(guideUrl());
}

QCursor Form1::loadCursorFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(file.errorString());
    const QByteArray bytes = file.readAll();
    QPixmap image;
    if (!image.loadFromData(bytes))
        throw Failure(QStringLiteral("Invalid picture"), 481);
    // A cursor file keeps the hot spot of its first image where an icon keeps its
    // planes and bit count.
    int hotX = -1;
    int hotY = -1;
    const auto* data = reinterpret_cast<const uchar*>(bytes.constData());
    if (bytes.size() >= 22 && qFromLittleEndian<quint16>(data + 2) == 2) {
        hotX = qFromLittleEndian<quint16>(data + 6 + 4);
        hotY = qFromLittleEndian<quint16>(data + 6 + 6);
        if (hotX >= image.width() || hotY >= image.height())
            hotX = hotY = -1;
    }
    return QCursor(image, hotX, hotY);
}

void Form1::applySkinColours()
{
    // Without a skin engine only the colour change of the skinned look remains.
    const QColor buttonFace = QApplication::palette().color(QPalette::Button);
    setBackground(this, buttonFace);
    for (QWidget* widget : findChildren<QWidget*>()) {
        if (qobject_cast<QRadioButton*>(widget) || qobject_cast<QCheckBox*>(widget) ||
            qobject_cast<QGroupBox*>(widget) || qobject_cast<QLabel*>(widget))
            setBackground(widget, buttonFace);
    }
}

void Form1::Form_Load()
{
    SettingsStore& store = *m_services.settings;
    const QString folder = m_services.programFolder;
    Trap trap(*m_services.reporter, QString::fromLatin1(kLoadLabel));

    trap(1, [&] {
        if (FileSystem::isRegularFile(folder + QLatin1String(kSkinFile)))
            applySkinColours();
    });
    trap(2, [&] {
        const QString cursorFile = m_services.dataFolder + QLatin1String(kHandCursorFile);
        if (FileSystem::isRegularFile(cursorFile)) {
            m_handCursor = loadCursorFile(cursorFile);
            m_hasHandCursor = true;
            if (auto* windowPointer = dynamic_cast<WindowPointer*>(m_services.pointer))
                windowPointer->setCustomCursor(m_handCursor);
        }
    });
    trap(3, [&] {
        const int draw = static_cast<int>(m_services.random->nextFraction() * 100) + 1;
        if (draw == 7)
            m_services.shell->openUrl(guideUrl());
    });
    trap(4, [&] {
        if (store.read(QStringLiteral("Snapshot"), QString()).isEmpty())
            m_samples->record();
    });
    trap(5, [&] {
        if (store.read(QStringLiteral("Snapshot"), QString()).isEmpty())
            m_samples->record();
    });
    trap(6, [&] { setWindowTitle(QString::fromLatin1(kProductName)); });
    trap(7, [&] { setWindowIcon(QIcon(QStringLiteral(":/quenby/quenby.svg"))); });
    trap(8, [&] {
        QtBoxes::setApplicationTitle(applicationTitleFor(QString::fromLatin1(kProductName)));
    });
    trap(9, [&] {
        m_listView1->header()->setVisible(true);
        m_listView1->header()->resizeSection(0, twipsToPixels(7000));
    });
    trap(10, [&] {
        // Adding the items is no choice of the user's: nothing is saved for it.
        const QSignalBlocker quiet(m_panel->combo1());
        m_panel->combo1()->addItems(OptionsPanel::contentMethods());
    });
    trap(11, [&] {
        const int index = SettingsStore::toWhole(store.read(QStringLiteral("Combo1Index"), "0"));
        if (index < -1 || index >= m_panel->combo1()->count())
            throw Failure(QStringLiteral("Invalid property value"), 380);
        m_panel->combo1()->setCurrentIndex(index);
    });
    trap(12, [&] {
        const QString desktop = m_services.shell->desktopFolder();
        m_panel->text1()->setText(store.read(QStringLiteral("Text1"), desktop));
    });
    trap(13, [&] {
        m_panel->text2()->setText(
            store.read(QStringLiteral("Text2"), OptionsPanel::presets().at(0)));
    });
    const struct
    {
        int line;
        const char* key;
        const char* fallback;
        QRadioButton* option;
    } options[] = {{14, "Option1", "1", m_panel->option1()},
                   {15, "Option2", "0", m_panel->option2()},
                   {16, "Option3", "1", m_panel->option3()},
                   {17, "Option4", "0", m_panel->option4()}};
    for (const auto& option : options) {
        trap(option.line, [&] {
            const QString text =
                store.read(QLatin1String(option.key), QLatin1String(option.fallback));
            OptionsPanel::setOptionValue(option.option, SettingsStore::toTruth(text));
        });
    }
    trap(18, [&] { m_panel->applyMethodRule(); });
    trap(19, [&] { m_panel->applyTagRule(); });
    trap(20, [&] {
        m_panel->setCheck1Value(SettingsStore::toWhole(store.read(QStringLiteral("Check1"), "0")));
    });
    trap(21, [&] {
        m_listView3->header()->setVisible(true);
        m_listView3->header()->resizeSection(0, twipsToPixels(7600));
    });
}

RenameBy Form1::renameBy() const
{
    if (m_panel->option1()->isChecked())
        return RenameBy::Content;
    if (m_panel->option2()->isChecked())
        return RenameBy::Metadata;
    return RenameBy::None;
}

TagMode Form1::tagMode() const
{
    if (m_panel->option3()->isChecked())
        return TagMode::IgnoreTags;
    if (m_panel->option4()->isChecked())
        return TagMode::ConsiderTags;
    return TagMode::None;
}

bool Form1::includeTagsBeforeBody() const
{
    return m_panel->check1Value() == 1;
}

ContentMethod Form1::contentMethod() const
{
    // The list holds the methods in the enumeration's order; no choice is the first.
    return ContentMethod(std::clamp(m_panel->combo1()->currentIndex(), 0, 3));
}

QString Form1::resultsFolder() const
{
    return m_panel->text1()->text();
}

QString Form1::metaPattern() const
{
    return m_panel->text2()->text();
}

NameOptions Form1::nameOptions() const
{
    return m_moreOptions->values();
}

void Form1::openMoreOptions()
{
    // One dialog at a time; it applies each choice as it is made.
    if (!m_moreOptionsDialog) {
        m_moreOptionsDialog = new MoreOptionsDialog(*m_moreOptions, this);
        m_moreOptionsDialog->setAttribute(Qt::WA_DeleteOnClose);
        connect(m_moreOptionsDialog, &MoreOptionsDialog::changed, m_previewAndUndo,
                &PreviewAndUndo::replanPreview);
    }
    m_moreOptionsDialog->open();
}

void Form1::PushButton2_Click()
{
    const FileList::FolderHold hold(*m_fileList);
    m_run->start();
    m_previewAndUndo->replanPreview();
    // The run went on without its journal; a box of its own, after the run's
    // closing message, says so once.
    if (const auto& failure = m_run->journalFailure())
        m_services.boxes->message(
            QStringLiteral("This run was not recorded, so it cannot be undone:\r\n") +
                failure->description(),
            {}, BoxIcon::Warning);
}

void Form1::PushButton7_Click()
{
    Trap trap(*m_services.reporter, QString::fromLatin1(kHelpLabel));
    trap(1, [&] { m_services.boxes->message(HelpTexts::general()); });
}

bool Form1::busy() const
{
    return m_run->busy() || m_services.pointer->isBusy();
}

void Form1::closeEvent(QCloseEvent* event)
{
    event->accept();
    // A command in the middle of its loop would carry on behind a closed window;
    // closing ends the program at once instead. Every option is saved already.
    if (busy())
        m_endProgram();
}
