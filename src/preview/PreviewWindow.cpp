#include "preview/PreviewWindow.h"

#include "preview/PreviewModel.h"
#include "rename/NamingRequest.h"
#include "rename/FileEntries.h"
#include "rename/RenameOptions.h"
#include "rename/RenameRun.h"
#include "rename/RunAnswers.h"
#include "rename/TextRules.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

namespace {

FixedRenameOptions snapshot(const RenameOptions& options)
{
    FixedRenameOptions fixed;
    fixed.by = options.renameBy();
    fixed.tags = options.tagMode();
    fixed.includeHead = options.includeTagsBeforeBody();
    fixed.method = options.contentMethod();
    fixed.results = options.resultsFolder();
    fixed.pattern = options.metaPattern();
    fixed.names = options.nameOptions();
    return fixed;
}

} // namespace

PreviewWindow::PreviewWindow(QAbstractItemModel& list, const FileEntries& entries,
                             const RenameOptions& options, const RememberingAnswers& answers,
                             NamePlanner::PageTextFactory pageText, QWidget* parent)
    : QWidget(parent, Qt::Window), m_list(list), m_entries(entries), m_options(options),
      m_answers(answers)
{
    setObjectName(QStringLiteral("PreviewWindow"));
    setWindowTitle(QStringLiteral("Preview of New Names"));
    resize(820, 520);

    m_planner = new NamePlanner(std::move(pageText), this);
    m_model = new PreviewModel(this);
    m_proxy = new QSortFilterProxyModel(this);
    m_proxy->setSourceModel(m_model);
    m_proxy->setFilterRole(PreviewModel::ProblemRole);
    m_proxy->setFilterKeyColumn(PreviewModel::NumberColumn);

    auto* fields = new QHBoxLayout;
    auto field = [&](const QString& caption, QLineEdit*& edit, const QString& name) {
        auto* label = new QLabel(caption, this);
        edit = new QLineEdit(this);
        edit->setObjectName(name);
        label->setBuddy(edit);
        fields->addWidget(label);
        fields->addWidget(edit, 1);
        connect(edit, &QLineEdit::textChanged, this, &PreviewWindow::scheduleReplan);
    };
    field(QStringLiteral("&Number of words:"), m_wordCount, QStringLiteral("wordCount"));
    field(QStringLiteral("&Search string:"), m_search, QStringLiteral("searchString"));
    field(QStringLiteral("&Word numbers:"), m_wordNumbers, QStringLiteral("wordNumbers"));
    m_wordCount->setMaximumWidth(80);

    m_table = new QTableView(this);
    m_table->setModel(m_proxy);
    m_table->setSortingEnabled(true);
    m_table->sortByColumn(PreviewModel::NumberColumn, Qt::AscendingOrder);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setWordWrap(false);
    // Paths and long names keep both ends: the folder and the name are what tell
    // entries apart.
    m_table->setTextElideMode(Qt::ElideMiddle);
    m_table->verticalHeader()->hide();
    // Rows of one height, so that 100,000 of them stay instant.
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setColumnWidth(PreviewModel::NumberColumn, 60);
    m_table->setColumnWidth(PreviewModel::SourceColumn, 300);
    m_table->setColumnWidth(PreviewModel::NewNameColumn, 260);
    // The last column stretches with the window by itself; any other sized
    // while the window is up was sized by hand.
    connect(m_table->horizontalHeader(), &QHeaderView::sectionResized, this, [this](int column) {
        if (!m_fitting && isVisible() && column != PreviewModel::ProblemColumn)
            m_userSized = true;
    });

    m_problemsOnly = new QCheckBox(QStringLiteral("Show problems only"), this);
    connect(m_problemsOnly, &QCheckBox::toggled, this, [this](bool on) {
        m_proxy->setFilterFixedString(on ? QStringLiteral("true") : QString());
    });
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("status"));
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_problemsOnly);
    bottom->addStretch(1);
    bottom->addWidget(m_status);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(m_table, 1);
    layout->addLayout(bottom);

    m_delay.setSingleShot(true);
    m_delay.setInterval(kReplanDelayMs);
    connect(&m_delay, &QTimer::timeout, this, &PreviewWindow::replan);
    connect(m_planner, &NamePlanner::planned, this, &PreviewWindow::onPlanned);
    connect(m_planner, &NamePlanner::finished, this, &PreviewWindow::onFinished);

    // Any change of the list, whatever made it.
    connect(&list, &QAbstractItemModel::rowsInserted, this, &PreviewWindow::scheduleReplan);
    connect(&list, &QAbstractItemModel::rowsRemoved, this, &PreviewWindow::scheduleReplan);
    connect(&list, &QAbstractItemModel::rowsMoved, this, &PreviewWindow::scheduleReplan);
    connect(&list, &QAbstractItemModel::modelReset, this, &PreviewWindow::scheduleReplan);
    connect(&list, &QAbstractItemModel::layoutChanged, this, &PreviewWindow::scheduleReplan);
    connect(&list, &QAbstractItemModel::dataChanged, this, &PreviewWindow::scheduleReplan);

    takeAnswers();
}

PreviewWindow::~PreviewWindow() = default;

void PreviewWindow::takeAnswers()
{
    const QSignalBlocker a(m_wordCount), b(m_search), c(m_wordNumbers);
    m_wordCount->setText(m_answers.lastWordCount());
    m_search->setText(m_answers.lastSearchString());
    m_wordNumbers->setText(m_answers.lastWordNumbers());
    scheduleReplan();
}

void PreviewWindow::scheduleReplan()
{
    if (isVisible())
        m_delay.start();
}

void PreviewWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    replan();
}

void PreviewWindow::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    // Nobody is looking: no plan until the window is shown again.
    m_delay.stop();
    m_planner->cancel();
    m_planning = false;
}

void PreviewWindow::updateFields()
{
    const bool content = m_options.renameBy() == RenameBy::Content;
    const ContentMethod method = m_options.contentMethod();
    m_wordCount->setEnabled(content && method != ContentMethod::WordPositions);
    m_search->setEnabled(content && searchesText(method));
    m_wordNumbers->setEnabled(content && method == ContentMethod::WordPositions);
}

QString PreviewWindow::fieldProblem() const
{
    if (m_options.renameBy() != RenameBy::Content)
        return {};
    if (m_options.contentMethod() == ContentMethod::WordPositions) {
        if (!WordNumbers::fromText(m_wordNumbers->text()).acceptable())
            return QStringLiteral("The word numbers must be numbers separated by commas.");
    } else if (!TextRules::isNumeric(m_wordCount->text())) {
        return QStringLiteral("The number of words must be numeric.");
    }
    return {};
}

void PreviewWindow::replan()
{
    m_delay.stop();
    updateFields();

    PlanRequest request;
    QStringList shown;
    const int n = m_entries.count();
    request.files.reserve(n);
    shown.reserve(n);
    for (int i = 1; i <= n; ++i) {
        request.files.append(m_entries.entry(i));
        shown.append(m_list.index(i - 1, 0).data().toString());
    }
    request.options = snapshot(m_options);
    request.wordCount = m_wordCount->text();
    request.searchString = m_search->text();
    request.wordNumbers = m_wordNumbers->text();

    m_model->start(shown);
    measureSources(shown);
    m_note = fieldProblem();
    if (m_note.isEmpty() && request.options.renameBy() == RenameBy::None)
        m_note = QStringLiteral("Choose how to rename: by content or by metadata.");
    if (!m_note.isEmpty()) {
        m_planner->cancel();
        m_planning = false;
        m_plan = 0;
        updateStatus();
        emit planShown(m_plan);
        return;
    }
    m_plan = m_planner->plan(std::move(request));
    m_planning = true;
    updateStatus();
}

void PreviewWindow::measureSources(const QStringList& shown)
{
    // Once, for the first list that has entries: a sample is enough to size a
    // column, and measuring 100,000 texts on each plan is not.
    if (m_widestSource > 0 || shown.isEmpty())
        return;
    const QFontMetrics metrics = m_table->fontMetrics();
    for (qsizetype i = 0; i < std::min<qsizetype>(shown.size(), 1000); ++i)
        m_widestSource = std::max(m_widestSource, metrics.horizontalAdvance(shown.at(i)));
    fitColumns();
}

void PreviewWindow::fitColumns()
{
    if (m_userSized || m_widestSource == 0)
        return;
    m_fitting = true;
    const int room = m_table->viewport()->width() - m_table->columnWidth(PreviewModel::NumberColumn);
    const int source = std::clamp(m_widestSource + 16, 150, std::max(150, room * 40 / 100));
    m_table->setColumnWidth(PreviewModel::SourceColumn, source);
    // The new names and the problems share the rest.
    m_table->setColumnWidth(PreviewModel::NewNameColumn, std::max(150, (room - source) / 2));
    m_fitting = false;
}

void PreviewWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    fitColumns();
}

void PreviewWindow::onPlanned(int plan, const QList<PlannedName>& names)
{
    if (plan != m_plan)
        return;
    m_model->fill(names);
    updateStatus();
}

void PreviewWindow::onFinished(int plan, NamePlanner::End end, int)
{
    if (plan != m_plan)
        return;
    m_planning = false;
    if (end == NamePlanner::End::NoResultsFolder) {
        m_model->markAll(noResultsFolder());
        m_note = QStringLiteral("The results folder does not exist.");
    }
    updateStatus();
    emit planShown(plan);
}

void PreviewWindow::updateStatus()
{
    QString text;
    if (m_planning)
        text = QStringLiteral("Planning: %1 of %2 files; %3 new names, %4 problems")
                   .arg(m_model->planned())
                   .arg(m_model->files())
                   .arg(m_model->newNames())
                   .arg(m_model->problems());
    else
        text = QStringLiteral("%1 files, %2 new names, %3 problems")
                   .arg(m_model->files())
                   .arg(m_model->newNames())
                   .arg(m_model->problems());
    if (!m_note.isEmpty())
        text = m_note + QStringLiteral("  ") + text;
    m_status->setText(text);
}
