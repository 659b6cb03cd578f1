#pragma once

#include "rename/RenameOptions.h"
#include "rename/SkipReasons.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

class PageText;

// What a plan is made of: a snapshot of the list, the options and the answers
// the content method needs, taken when the plan starts.
struct PlanRequest
{
    QStringList files; // full paths, in list order
    FixedRenameOptions options;
    QString wordCount = QStringLiteral("1");
    QString searchString;
    QString wordNumbers = QStringLiteral("10,11");
};

// One entry of the list as the run would treat it now.
struct PlannedName
{
    int number = 0; // the entry's place in the list, from 1
    QString source;
    QString fileName; // the copy's name, "!" marks and extension included
    QString target;
    std::optional<SkipReason> problem; // set when the entry would be passed over
};

// Plans the new names of a list with the dry run of the rename run, the engine
// of `quenby-rename --dry-run`, on a thread of its own with its own namer and
// page-text service, so that the window stays responsive. A new plan cancels
// the one in progress; names arrive in list order, a batch at a time.
class NamePlanner : public QObject
{
    Q_OBJECT
public:
    enum class End { Completed, NoResultsFolder, Cancelled };
    Q_ENUM(End)
    using PageTextFactory = std::function<std::unique_ptr<PageText>()>;

    // `pageText` makes the planning thread's page-text service, on that thread;
    // the helper processes beside the program unless given.
    explicit NamePlanner(PageTextFactory pageText = {}, QObject* parent = nullptr);
    ~NamePlanner() override;

    // Starts planning `request` and answers the plan's number; a plan still in
    // progress is cancelled, and nothing more of it arrives.
    int plan(PlanRequest request);
    // Cancels the plan in progress, if any.
    void cancel();
    bool busy() const;

signals:
    // Names of plan `plan`, in list order, following those sent before.
    void planned(int plan, const QList<PlannedName>& names);
    // Plan `plan` ended; `done` entries were planned.
    void finished(int plan, NamePlanner::End end, int done);

private:
    class Worker;
    std::unique_ptr<Worker> m_worker;
};
