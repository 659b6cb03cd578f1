#pragma once

#include "preview/NamePlanner.h"

#include <QTimer>
#include <QWidget>

class FileEntries;
class PreviewModel;
class QAbstractItemModel;
class QCheckBox;
class QLabel;
class QLineEdit;
class QSortFilterProxyModel;
class QTableView;
class RememberingAnswers;
class RenameOptions;

// "Preview of New Names": beside the main window, not in its way, one row per
// list entry with the name the run would give it now, or why it would pass it
// over. It follows the window: a change of the list, an option or one of its
// own fields plans again after a short pause, cancelling the plan in progress.
class PreviewWindow : public QWidget
{
    Q_OBJECT
public:
    // How long the preview waits after a change before it plans again, so that
    // typing does not start a plan a key.
    static constexpr int kReplanDelayMs = 300;

    // `list` is the file list as shown, `entries` its paths; `answers` holds the
    // last answers given to the content method's boxes. None is owned.
    PreviewWindow(QAbstractItemModel& list, const FileEntries& entries,
                  const RenameOptions& options, const RememberingAnswers& answers,
                  NamePlanner::PageTextFactory pageText = {}, QWidget* parent = nullptr);
    ~PreviewWindow() override;

    // Plans again after the pause (a change the window does not see itself,
    // such as an option of the main window).
    void scheduleReplan();
    // Plans again now.
    void replan();
    // The fields take the last answers given.
    void takeAnswers();

    PreviewModel& model() const { return *m_model; }
    QTableView* table() const { return m_table; }
    QSortFilterProxyModel* sortedView() const { return m_proxy; }
    QCheckBox* problemsOnly() const { return m_problemsOnly; }
    QLineEdit* wordCountField() const { return m_wordCount; }
    QLineEdit* searchField() const { return m_search; }
    QLineEdit* wordNumbersField() const { return m_wordNumbers; }
    QLabel* statusLine() const { return m_status; }
    NamePlanner& planner() const { return *m_planner; }
    // The number of the plan whose rows are shown; 0 before the first.
    int currentPlan() const { return m_plan; }
    bool planning() const { return m_planning; }

signals:
    // The shown plan is complete (or could not start).
    void planShown(int plan);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void onPlanned(int plan, const QList<PlannedName>& names);
    void onFinished(int plan, NamePlanner::End end, int done);
    void updateFields();
    void updateStatus();
    QString fieldProblem() const;
    void measureSources(const QStringList& shown);
    void fitColumns();

    QAbstractItemModel& m_list;
    const FileEntries& m_entries;
    const RenameOptions& m_options;
    const RememberingAnswers& m_answers;
    NamePlanner* m_planner = nullptr;
    PreviewModel* m_model = nullptr;
    QSortFilterProxyModel* m_proxy = nullptr;
    QTableView* m_table = nullptr;
    QLineEdit* m_wordCount = nullptr;
    QLineEdit* m_search = nullptr;
    QLineEdit* m_wordNumbers = nullptr;
    QCheckBox* m_problemsOnly = nullptr;
    QLabel* m_status = nullptr;
    QTimer m_delay;
    int m_plan = 0;
    bool m_planning = false;
    QString m_note; // what stands in for the counts when no plan could start
    int m_widestSource = 0; // of the first list with entries
    bool m_fitting = false;
    bool m_userSized = false; // a column was sized by hand: the widths stay
};
