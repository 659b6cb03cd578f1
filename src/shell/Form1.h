#pragma once

#include "rename/RenameOptions.h"
#include "shell/MoreOptions.h"

#include <QCursor>
#include <QMargins>
#include <QPointer>
#include <QScreen>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

class Boxes;
class CaptionedProgressBar;
class DesktopShell;
class ErrorReporter;
class EventPump;
class FileDialogs;
class FileList;
class FileListController;
class HoverCursor;
class ListCommands;
class ListMenu;
class OptionsPanel;
class PreviewAndUndo;
class PageText;
class Pointer;
class ProgressBar;
class QPushButton;
class QTreeView;
class RandomSource;
class RenameRun;
class Samples;
class SettingsStore;

inline constexpr char kProductName[] = "Quenby";
inline constexpr char kLoadLabel[] = "in Orlesk2021/08/31.Form1.Form_Load ";
inline constexpr char kHelpLabel[] = "in Orlesk2021/08/31.Form1.PushButton7_Click ";
// The user guide, in the data folder; one start in a hundred opens it.
inline constexpr char kGuideFileName[] = "guide.html";
// An optional file looked up in the program folder.
inline constexpr char kSkinFile[] = "/x/o.cjs";
// An optional file looked up in the data folder.
inline constexpr char kHandCursorFile[] = "/HAND-M.CUR";

// The short name shown for the running program: the product name cut back at its
// last blank, again and again, until at most 40 characters remain. The first cut
// is always made; a name without a blank is kept whole.
QString applicationTitleFor(const QString& productName);

// The platform services the window works through. Those left empty are made by
// the window itself on Qt; tests put doubles in.
struct Form1Services
{
    SettingsStore* settings = nullptr; // required
    PageText* pageText = nullptr;
    Boxes* boxes = nullptr;
    ErrorReporter* reporter = nullptr;
    Pointer* pointer = nullptr;
    DesktopShell* shell = nullptr;
    RandomSource* random = nullptr;
    EventPump* pump = nullptr;
    FileDialogs* dialogs = nullptr;
    // The folder of the program file, without a trailing separator; empty for the
    // folder of the running executable.
    QString programFolder;
    // The folder of the samples, the guide and the pointers, without a trailing
    // separator; empty for the one dataFolderFor() finds from the program folder.
    QString dataFolder;
};

// Where an installed program keeps its data: share/quenby beside the program's
// libexec/quenby when that folder is there, and the program folder itself otherwise
// (the build tree, or a tree that keeps everything together).
QString dataFolderFor(const QString& programFolder);

// The main window. It holds the file list, the preview, the options panel, the
// results folder and the progress bar; the run reads the panel through it.
class Form1 : public QWidget, public RenameOptions
{
    Q_OBJECT
public:
    explicit Form1(const Form1Services& services, QWidget* parent = nullptr);
    ~Form1() override;

    // The start-up steps; run once, before the window is shown.
    void Form_Load();

    // What the run reads, live from the controls.
    RenameBy renameBy() const override;
    TagMode tagMode() const override;
    bool includeTagsBeforeBody() const override;
    ContentMethod contentMethod() const override;
    QString resultsFolder() const override;
    QString metaPattern() const override;
    NameOptions nameOptions() const override;

    // "More Options...": the dialog of the naming options, not waited for.
    void openMoreOptions();
    MoreOptions& moreOptions() const { return *m_moreOptions; }
    MoreOptionsDialog* moreOptionsDialog() const { return m_moreOptionsDialog; }

    // Files and folders given to the program ("Open With" in a file manager):
    // appended to the list as dropped ones are.
    void openFiles(const QStringList& paths);
    // Shows the window in front, restored if it was minimized.
    void bringToFront();

    // "Start Renaming" and "Help".
    void PushButton2_Click();
    void PushButton7_Click();

    // The controls, by their names.
    QTreeView* listView1() const { return m_listView1; }
    QTreeView* listView3() const { return m_listView3; }
    // 1 to 13; nullptr for any other number.
    QPushButton* pushButton(int number) const;
    OptionsPanel* panel() const { return m_panel; }
    CaptionedProgressBar* progressBar1() const { return m_progressBar1; }
    FileList& fileList() const { return *m_fileList; }
    FileListController* fileListController() const { return m_fileListController; }
    RenameRun& renameRun() const { return *m_run; }
    Samples& samples() const { return *m_samples; }
    // The file list's context menu; commands put their entries in it.
    ListMenu& listMenu() const { return *m_listMenu; }
    // "Preview New Names..." and "Undo Last Run...".
    PreviewAndUndo& previewAndUndo() const { return *m_previewAndUndo; }

    // The services, as the window uses them.
    SettingsStore& settings() const { return *m_services.settings; }
    Boxes& boxes() const { return *m_services.boxes; }
    ErrorReporter& reporter() const { return *m_services.reporter; }
    Pointer& pointer() const { return *m_services.pointer; }
    ProgressBar& progress() const { return *m_progress; }
    const QString& programFolder() const { return m_services.programFolder; }

    // The hand cursor of HAND-M.CUR, once start-up has loaded it.
    bool hasHandCursor() const { return m_hasHandCursor; }
    const QCursor& handCursor() const { return m_handCursor; }
    // The file URL of the user guide beside the program.
    QString guideUrl() const;
    // F1: the user guide in the desktop's browser; a guide that is not there is
    // named in a box.
    void openGuide();

    // How closing the window ends the program while a command is still working in
    // the middle of its loop: at once, without going back into that loop. Tests
    // put a recorder here.
    void setEndProgram(std::function<void()> endProgram) { m_endProgram = std::move(endProgram); }

    // A cursor file's pixmap and hot spot; throws Failure when it is not a picture.
    static QCursor loadCursorFile(const QString& path);

    // The window is never larger than the available screen area: where its
    // designed size does not fit, every control, font and column is scaled down
    // by one factor, so the layout keeps its proportions. 1 where it fits.
    double layoutScale() const { return m_layoutScale; }
    void fitToScreen();
    // The factor for a window of `designed` size with `decorations` around it on
    // an `available` area; never above 1.
    static double scaleToFit(QSize designed, QMargins decorations, QSize available);

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;

private:
    void buildControls();
    void attachFileList();
    void attachListMenu();
    void applySkinColours();
    bool busy() const;
    void recordDesignedLayout();
    void describeControls();
    void applyLayoutScale(double scale);
    void watchScreen();

    Form1Services m_services;
    // Services made here when none were given.
    std::unique_ptr<Boxes> m_ownBoxes;
    std::unique_ptr<ErrorReporter> m_ownReporter;
    std::unique_ptr<Pointer> m_ownPointer;
    std::unique_ptr<DesktopShell> m_ownShell;
    std::unique_ptr<RandomSource> m_ownRandom;
    std::unique_ptr<EventPump> m_ownPump;
    std::unique_ptr<FileDialogs> m_ownDialogs;
    std::unique_ptr<PageText> m_ownPageText;
    std::unique_ptr<ProgressBar> m_progress;

    FileList* m_fileList = nullptr;
    QTreeView* m_listView1 = nullptr;
    QTreeView* m_listView3 = nullptr;
    QPushButton* m_buttons[14] = {};
    OptionsPanel* m_panel = nullptr;
    CaptionedProgressBar* m_progressBar1 = nullptr;
    HoverCursor* m_hover = nullptr;
    QObject* m_returnPresses = nullptr;
    FileListController* m_fileListController = nullptr;
    std::unique_ptr<Samples> m_samples;
    ListMenu* m_listMenu = nullptr;
    std::unique_ptr<ListCommands> m_listCommands;
    std::unique_ptr<MoreOptions> m_moreOptions;
    QPointer<MoreOptionsDialog> m_moreOptionsDialog;
    std::unique_ptr<RenameRun> m_run;
    PreviewAndUndo* m_previewAndUndo = nullptr;

    // The designed geometry of every placed control and the designed size of
    // every font set on purpose, which the layout scale is applied to.
    struct Placed
    {
        QPointer<QWidget> widget;
        QRect rect;
    };
    struct Sized
    {
        QPointer<QWidget> widget;
        qreal points;
    };
    std::vector<Placed> m_placed;
    std::vector<Sized> m_fonts;
    QSize m_designedSize;
    double m_layoutScale = 1.0;
    QPointer<QScreen> m_watchedScreen;
    bool m_placedOnScreen = false;

    QCursor m_handCursor;
    bool m_hasHandCursor = false;
    std::function<void()> m_endProgram;
};
