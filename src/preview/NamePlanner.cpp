#include "preview/NamePlanner.h"

#include "pagetext/service/HelperPageText.h"
#include "platform/Boxes.h"
#include "platform/EventPump.h"
#include "platform/Failure.h"
#include "platform/Pointer.h"
#include "platform/ProgressBar.h"
#include "rename/FileEntries.h"
#include "rename/RenameRun.h"
#include "rename/TargetNames.h"

#include <QElapsedTimer>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

// How often planned names are handed to the window: often enough to watch them
// fill in, rarely enough that the window is not kept busy by them.
constexpr int kBatchMs = 100;

class SnapshotEntries : public FileEntries
{
public:
    explicit SnapshotEntries(const QStringList& paths) : m_paths(paths) {}
    int count() const override { return int(m_paths.size()); }
    QString entry(int i) const override
    {
        if (i < 1 || i > m_paths.size())
            throw Failure(QStringLiteral("Index out of bounds"));
        return m_paths.at(i - 1);
    }

private:
    const QStringList& m_paths;
};

// Nothing of a plan is shown or asked as the run shows and asks it: every
// entry's outcome comes back as a result instead.
class QuietSurface : public Boxes, public Pointer, public ProgressBar, public EventPump,
                     public ErrorReporter
{
public:
    BoxAnswer message(const QString&, const QString&, BoxIcon, BoxButtons) override
    {
        return BoxAnswer::Ok;
    }
    QString input(const QString&, const QString&, const QString&) override { return {}; }
    void setShape(PointerShape) override {}
    PointerShape shape() const override { return PointerShape::Default; }
    void setValue(double) override {}
    void setText(const QString&) override {}
    void processEvents() override {}
    void reportError(const QString&, int, const QString&) override {}
};

class RequestAnswers : public RunAnswers
{
public:
    explicit RequestAnswers(const PlanRequest& request) : m_request(request) {}
    QString searchString() override { return m_request.searchString; }
    AnswerNumber wordCount(ContentMethod) override
    {
        return AnswerNumber::fromText(m_request.wordCount);
    }
    WordNumbers wordNumbers() override { return WordNumbers::fromText(m_request.wordNumbers); }

private:
    const PlanRequest& m_request;
};

} // namespace

class NamePlanner::Worker
{
public:
    Worker(NamePlanner* owner, PageTextFactory pageText)
        : m_owner(owner), m_pageText(std::move(pageText)), m_thread([this] { loop(); })
    {
    }

    ~Worker()
    {
        {
            std::lock_guard lock(m_mutex);
            m_quit = true;
            m_current = -1;
        }
        m_wake.notify_all();
        m_thread.join();
    }

    int submit(PlanRequest request)
    {
        int id;
        {
            std::lock_guard lock(m_mutex);
            id = ++m_last;
            m_current = id; // the plan in progress, if any, stops at its next file
            m_pending = std::move(request);
        }
        m_wake.notify_all();
        return id;
    }

    void cancel()
    {
        std::lock_guard lock(m_mutex);
        m_current = ++m_last;
        m_pending.reset();
    }

    bool busy() const
    {
        std::lock_guard lock(m_mutex);
        return m_running || m_pending;
    }

    bool isCurrent(int id) const { return m_current.load() == id; }

private:
    void loop()
    {
        std::unique_ptr<PageText> page;
        for (;;) {
            PlanRequest request;
            int id;
            {
                std::unique_lock lock(m_mutex);
                m_running = false;
                m_wake.wait(lock, [this] { return m_quit || m_pending; });
                if (m_quit)
                    return;
                request = std::move(*m_pending);
                m_pending.reset();
                id = m_current;
                m_running = true;
            }
            if (!page)
                page = m_pageText ? m_pageText() : std::make_unique<HelperPageText>();
            run(id, request, *page);
        }
    }

    void deliver(int id, QList<PlannedName>& batch)
    {
        if (batch.isEmpty())
            return;
        NamePlanner* owner = m_owner;
        QMetaObject::invokeMethod(
            owner,
            [owner, id, names = std::move(batch)] {
                if (owner->m_worker->isCurrent(id))
                    emit owner->planned(id, names);
            },
            Qt::QueuedConnection);
        batch = {};
    }

    void run(int id, const PlanRequest& request, PageText& page)
    {
        SnapshotEntries files(request.files);
        QuietSurface quiet;
        RenameRun run(files, request.options, {quiet, quiet, quiet, quiet, page, quiet});
        run.setDryRun(true);
        run.setPagesForMetadata(false); // as the command line plans
        run.setJournal({}, {});
        RequestAnswers answers(request);
        run.setAnswers(&answers);
        run.stopRequested = [this, id] { return !isCurrent(id); };

        QList<PlannedName> batch;
        QElapsedTimer sinceBatch;
        sinceBatch.start();
        int done = 0;
        run.onFileDone = [&](const RenameRun::FileResult& result) {
            PlannedName name;
            name.number = ++done;
            name.source = result.source;
            if (result.renamed) {
                name.target = result.target;
                name.fileName = GetFileName(name.target);
            } else {
                name.problem = skipReason(result, request.options.renameBy());
            }
            batch.append(std::move(name));
            if (sinceBatch.elapsed() >= kBatchMs) {
                deliver(id, batch);
                sinceBatch.restart();
            }
        };

        End end = End::Completed;
        try {
            switch (run.start()) {
            case RenameRun::Outcome::NoResultsFolder:
                end = End::NoResultsFolder;
                break;
            case RenameRun::Outcome::Stopped:
            case RenameRun::Outcome::AlreadyRunning:
                end = End::Cancelled;
                break;
            default:
                break;
            }
        } catch (...) {
            // The run traps its own failures; whatever escapes ends this plan only.
            end = End::Cancelled;
        }
        deliver(id, batch);
        NamePlanner* owner = m_owner;
        QMetaObject::invokeMethod(
            owner,
            [owner, id, end, done] {
                // A cancelled plan still says so, for whoever waits on it.
                if (owner->m_worker->isCurrent(id) || end == End::Cancelled)
                    emit owner->finished(id, end, done);
            },
            Qt::QueuedConnection);
    }

    NamePlanner* m_owner;
    PageTextFactory m_pageText;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::optional<PlanRequest> m_pending;
    std::atomic<int> m_current{0};
    int m_last = 0;
    bool m_running = false;
    bool m_quit = false;
    std::thread m_thread; // last: it starts once everything above is ready
};

NamePlanner::NamePlanner(PageTextFactory pageText, QObject* parent)
    : QObject(parent), m_worker(std::make_unique<Worker>(this, std::move(pageText)))
{
    qRegisterMetaType<QList<PlannedName>>();
}

NamePlanner::~NamePlanner() = default;

int NamePlanner::plan(PlanRequest request)
{
    return m_worker->submit(std::move(request));
}

void NamePlanner::cancel()
{
    m_worker->cancel();
}

bool NamePlanner::busy() const
{
    return m_worker->busy();
}
