#include "shell/PreviewAndUndo.h"

#include "filelist/FileList.h"
#include "options/OptionsPanel.h"
#include "platform/Boxes.h"
#include "platform/FileSystem.h"
#include "platform/Pointer.h"
#include "preview/PreviewWindow.h"
#include "rename/RunJournal.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>

namespace {

QString when(const QDateTime& time)
{
    return time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString copies(int n)
{
    return n == 1 ? QStringLiteral("1 copy") : QStringLiteral("%1 copies").arg(n);
}

// The copies undo keeps, one a line, with why.
QString keptList(const UndoResult& result)
{
    QString list;
    for (const UndoResult::Item& item : result.items) {
        QString why;
        switch (item.status) {
        case UndoResult::Status::Changed:
            why = QStringLiteral("changed since the run");
            break;
        case UndoResult::Status::Replaced:
            why = QStringLiteral("another file has its name now");
            break;
        case UndoResult::Status::Failed:
            why = item.failure->description();
            break;
        default:
            continue;
        }
        list += QStringLiteral("\r\n") + FileSystem::displayPath(item.target) +
                QStringLiteral(" (") + why + QLatin1Char(')');
    }
    return list;
}

} // namespace

PreviewAndUndo::PreviewAndUndo(QWidget& window, FileList& list, const RenameOptions& options,
                               OptionsPanel& panel, Boxes& boxes, Pointer& pointer)
    : QObject(&window), m_window(window), m_list(list), m_options(options), m_panel(panel),
      m_boxes(boxes), m_pointer(pointer), m_boxAnswers(std::make_unique<BoxAnswers>(boxes)),
      m_answers(std::make_unique<RememberingAnswers>(*m_boxAnswers)),
      m_journalFolder(RunJournal::defaultFolder())
{
    m_answers->onAnswered = [this] {
        if (m_preview)
            m_preview->takeAnswers();
    };
}

PreviewAndUndo::~PreviewAndUndo() = default;

PreviewWindow* PreviewAndUndo::preview() const
{
    return m_preview;
}

void PreviewAndUndo::showPreview()
{
    if (!m_preview) {
        m_preview = new PreviewWindow(m_list, m_list, m_options, *m_answers, {}, &m_window);
        PreviewWindow* preview = m_preview;
        const auto replan = [preview] { preview->scheduleReplan(); };
        for (QAbstractButton* button :
             std::initializer_list<QAbstractButton*>{m_panel.option1(), m_panel.option2(),
                                                     m_panel.option3(), m_panel.option4(),
                                                     m_panel.check1()})
            connect(button, &QAbstractButton::toggled, preview, replan);
        connect(m_panel.combo1(), &QComboBox::currentIndexChanged, preview, replan);
        connect(m_panel.text1(), &QLineEdit::textChanged, preview, replan);
        connect(m_panel.text2(), &QLineEdit::textChanged, preview, replan);
    }
    m_preview->show();
    m_preview->raise();
    m_preview->activateWindow();
}

void PreviewAndUndo::replanPreview()
{
    if (m_preview)
        m_preview->scheduleReplan();
}

void PreviewAndUndo::undoLastRun()
{
    // A run or a scan is at work on the results folder.
    if (m_pointer.isBusy())
        return;
    const RunJournals journals(m_journalFolder);
    const QList<int> ids = journals.ids();
    if (ids.isEmpty()) {
        m_boxes.message(QStringLiteral("There is no run to undo."));
        return;
    }
    RecordedRun run;
    UndoResult plan;
    try {
        run = journals.read(ids.last());
        plan = undoRun(run, true);
    } catch (const Failure& failure) {
        m_boxes.message(QStringLiteral("The last run cannot be undone:\r\n") +
                            failure.description(),
                        {}, BoxIcon::Warning);
        return;
    }
    const QString about = QStringLiteral("The last run (%1, %2 into %3)")
                              .arg(when(run.started), copies(int(run.copies.size())),
                                   FileSystem::displayPath(run.folder()));
    if (plan.undoneBefore) {
        m_boxes.message(about + QStringLiteral(" was undone already, on %1.")
                                    .arg(when(*plan.undoneBefore)));
        return;
    }
    const int removable = plan.count(UndoResult::Status::Removed);
    const QString kept = keptList(plan);
    if (removable == 0) {
        m_boxes.message(about +
                        QStringLiteral(" left nothing to remove: none of its copies is still "
                                       "there unchanged.") +
                        kept);
        return;
    }
    QString question = QStringLiteral("Undo the last run (%1)?\r\n\r\nThis removes %2 from %3, "
                                      "the copies that are still there unchanged.")
                           .arg(when(run.started), copies(removable),
                                FileSystem::displayPath(run.folder()));
    if (!kept.isEmpty())
        question += QStringLiteral("\r\n\r\nThese are kept:") + kept;
    if (m_boxes.message(question, {}, BoxIcon::Warning, BoxButtons::YesNo) != BoxAnswer::Yes)
        return;

    UndoResult done;
    try {
        done = undoRun(run, false);
        replanPreview();
    } catch (const Failure& failure) {
        m_boxes.message(QStringLiteral("The last run cannot be undone:\r\n") +
                            failure.description(),
                        {}, BoxIcon::Warning);
        return;
    }
    QString report = QStringLiteral("Removed %1.").arg(copies(done.count(UndoResult::Status::Removed)));
    const QString left = keptList(done);
    if (!left.isEmpty())
        report += QStringLiteral("\r\nKept:") + left;
    if (done.markFailure)
        report += QStringLiteral("\r\nThe run could not be marked as undone: ") +
                  done.markFailure->description();
    m_boxes.message(report);
}
