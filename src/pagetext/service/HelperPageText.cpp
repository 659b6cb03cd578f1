#include "pagetext/service/HelperPageText.h"

#include "pagetext/PageTextWire.h"
#include "pagetext/service/HelperProcess.h"
#include "platform/Failure.h"
#include "platform/FileSystem.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace PageTextWire;
using Clock = std::chrono::steady_clock;

namespace {

// How many pages wait in one helper's socket at a time. They are sent in one
// write and answered in one, so the helper never idles between pages and a
// page costs neither side a wake-up of its own; the page the run waits for
// is never queued behind more than this.
constexpr size_t kPagesQueuedPerHelper = 16;

// Pages read ahead that may wait for the run, a helper: enough to keep every
// helper's queue full while the run takes the pages before them.
constexpr size_t kReadAheadPerHelper = 2 * kPagesQueuedPerHelper + 2;

struct Job
{
    // Set when the job is made, never changed: read without the lock.
    QString path;
    QByteArray encodedPath;
    Mode mode = Mode::Page;
    int words = 0;

    // The rest is guarded by the scheduler's mutex.
    enum class State {
        Waiting,
        Running,
        Done,
    } state = State::Waiting;
    bool wanted = true;         // false once the run has passed it by
    bool checkFreshness = true; // read before it was asked for: compare with the file now
    std::optional<Stamp> opened; // the file as the run holds it open, when it does
    bool readAgain = false;      // read once more already, for not being that file
    // The file the helper reads, open, where the service or the run holds it:
    // the run takes it to name and copy from, so it is opened once.
    std::shared_ptr<FileSystem::Source> source;

    HelperProcess::Answer answer;
};
using JobPtr = std::shared_ptr<Job>;

// The file's stamp now; the default (size -1) when it cannot be examined.
Stamp stampOf(const QByteArray& path)
{
    struct stat st;
    return ::stat(path.constData(), &st) == 0 ? PageTextWire::stampOf(st) : Stamp();
}

HelperProcess::Answer failed(const QString& why, Failure::Kind kind)
{
    HelperProcess::Answer answer;
    answer.text = why;
    answer.kind = kind;
    return answer;
}

Stamp wireStamp(const FileSystem::FileStamp& stamp)
{
    Stamp s;
    s.device = uint64_t(stamp.device);
    s.inode = uint64_t(stamp.inode);
    s.size = int64_t(stamp.size);
    s.modifiedNs = stamp.modifiedNs;
    s.changedNs = stamp.changedNs;
    return s;
}

} // namespace

// Hands pages to the helpers and their answers to the caller.
//
// Locking: m_mutex guards the queues (m_ahead, m_urgent, m_current), the
// counters and the changing fields of every Job. The helper slots (processes,
// the jobs sent to each, deadlines) belong to the scheduler's thread alone and
// are never touched from the caller's thread. The scheduler never does I/O or
// waits while it holds the mutex.
class HelperPageText::Scheduler
{
public:
    Scheduler(QByteArray helperPath, int helpers, int timeLimitMs)
        : m_window(kReadAheadPerHelper * size_t(std::max(1, helpers))),
          m_timeLimitMs(std::max(1, timeLimitMs))
    {
        for (int i = 0; i < std::max(1, helpers); ++i)
            m_slots.push_back(std::make_unique<Slot>(helperPath));
        if (::pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0)
            throw Failure::fromErrno(errno);
        m_thread = std::thread([this] { run(); });
    }

    ~Scheduler()
    {
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        wake();
        m_thread.join();
        for (auto& slot : m_slots)
            slot->process.stop(false);
        ::close(m_wake[0]);
        ::close(m_wake[1]);
    }

    void navigate(const QString& path, Mode mode,
                  const std::shared_ptr<FileSystem::Source>& held = nullptr)
    {
        std::lock_guard lock(m_mutex);
        JobPtr job;
        auto found = std::find_if(m_ahead.begin(), m_ahead.end(), [&](const JobPtr& j) {
            return j->path == path && j->mode == mode;
        });
        if (found != m_ahead.end()) {
            // Pages read ahead before this one were passed by.
            for (auto it = m_ahead.begin(); it != found; ++it)
                (*it)->wanted = false;
            job = *found;
            m_ahead.erase(m_ahead.begin(), found + 1);
        } else {
            job = std::make_shared<Job>();
            job->path = path;
            job->encodedPath = FileSystem::nativePath(path);
            job->mode = mode;
        }
        if (m_current && m_current != job)
            m_current->wanted = false;
        m_current = job;
        job->opened.reset();
        if (held) {
            job->opened = wireStamp(held->file().stamp());
            if (!job->source)
                job->source = held;
        }
        job->readAgain = false;
        if (job->state == Job::State::Waiting) {
            job->checkFreshness = false;
            m_urgent.push_back(job);
            wake();
        }
    }

    void prefetch(const QStringList& paths, int words, Mode mode)
    {
        std::lock_guard lock(m_mutex);
        std::deque<JobPtr> old;
        old.swap(m_ahead);
        QHash<QString, QList<JobPtr>> reusable;
        for (const JobPtr& j : old)
            if (j->wanted && j->mode == mode && (j->words == words || j->words == 0))
                reusable[j->path].append(j);
        for (const QString& path : paths) {
            JobPtr job;
            auto it = reusable.find(path);
            if (it != reusable.end() && !it->isEmpty()) {
                job = it->takeFirst();
            } else {
                job = std::make_shared<Job>();
                job->path = path;
                job->encodedPath = FileSystem::nativePath(path);
                job->mode = mode;
                job->words = std::max(0, words);
            }
            m_ahead.push_back(job);
        }
        for (const auto& list : std::as_const(reusable))
            for (const JobPtr& j : list)
                j->wanted = false;
        wake();
    }

    void releaseFiles()
    {
        std::lock_guard lock(m_mutex);
        for (const JobPtr& job : m_ahead)
            job->wanted = false;
        m_ahead.clear();
        if (m_current) {
            m_current->wanted = false;
            m_current->source.reset();
            m_current = nullptr;
        }
    }

    std::shared_ptr<FileSystem::Source> openedAhead(const QString& path)
    {
        std::lock_guard lock(m_mutex);
        // Only pages within the window are ever handed out, so only they are
        // held open: the rest of a long list need not be searched, file by file.
        const size_t held = std::min(m_ahead.size(), m_window);
        for (size_t i = 0; i < held; ++i)
            if (m_ahead[i]->path == path && m_ahead[i]->source)
                return m_ahead[i]->source;
        return nullptr;
    }

    int readyState()
    {
        std::unique_lock lock(m_mutex);
        if (!m_current || settled())
            return PageText::kComplete;
        // Other pages finishing wake this wait too; it still lasts its full
        // time, so that the caller's count of polls measures time.
        const auto until = Clock::now() + std::chrono::milliseconds(kPollWaitMs);
        while (m_done.wait_until(lock, until) != std::cv_status::timeout)
            if (settled())
                return PageText::kComplete;
        return settled() ? PageText::kComplete : PageText::kLoading;
    }

    QString bodyText()
    {
        std::unique_lock lock(m_mutex);
        if (!m_current)
            throw Failure(QStringLiteral("No page has been opened."));
        // For a place in a helper, for the pages queued before it there, then for its own read.
        const auto deadline = Clock::now() + std::chrono::milliseconds(4 * m_timeLimitMs + 2000);
        while (!settled()) {
            if (m_done.wait_until(lock, deadline) == std::cv_status::timeout && !settled())
                throw Failure(QStringLiteral("The page is still being read."));
        }
        if (!m_current->answer.ok)
            throw Failure(m_current->answer.text, m_current->answer.code, m_current->answer.kind);
        return m_current->answer.text;
    }

    int helpersStarted() const
    {
        std::lock_guard lock(m_mutex);
        return m_started;
    }

private:
    // One helper process and the pages sent to it, answered in order.
    struct Slot
    {
        explicit Slot(const QByteArray& program) : process(program) {}
        HelperProcess process;
        std::deque<JobPtr> jobs;
        Clock::time_point deadline; // of the first job
    };

    // True when the current page's text is there and is that of the file as it
    // is now; a page read ahead of time whose file has changed is read again.
    // Called with the mutex held.
    bool settled()
    {
        Job& job = *m_current;
        if (job.state != Job::State::Done)
            return false;
        if (job.opened)
            return isOfOpenedFile(job);
        if (job.checkFreshness) {
            job.checkFreshness = false;
            // A failure of the reader itself (a crash, its time or memory limit)
            // has no stamp: read again, the page would only fail again.
            const bool readerFailed = !job.answer.ok && job.answer.stamp.size < 0;
            if (!readerFailed && (!(stampOf(job.encodedPath) == job.answer.stamp) ||
                                  job.answer.stamp.size < 0)) {
                job.state = Job::State::Waiting;
                job.answer = {};
                m_urgent.push_back(m_current);
                wake();
                return false;
            }
        }
        return true;
    }

    // For a file the run holds open, the answer must come from that file, which
    // the stamp the helper took tells without asking the file system again. A
    // failure of the reader itself has no stamp: that page would only fail again.
    // Called with the mutex held.
    bool isOfOpenedFile(Job& job)
    {
        const bool readerFailed = !job.answer.ok && job.answer.stamp.size < 0;
        if (readerFailed || job.answer.stamp == *job.opened)
            return true;
        if (!job.readAgain) {
            // Read ahead from an earlier state of the file: read it as it is.
            job.readAgain = true;
            job.state = Job::State::Waiting;
            job.answer = {};
            m_urgent.push_back(m_current);
            wake();
            return false;
        }
        // Read again and still not the file as the run opened it: it is being
        // rewritten, or was replaced or removed, so no text of it is sure.
        job.answer = failed(QStringLiteral("The file changed while it was being read"),
                            Failure::Kind::SourceChanged);
        job.answer.code = EAGAIN;
        return true;
    }

    void wake()
    {
        const char c = 1;
        [[maybe_unused]] ssize_t n = ::write(m_wake[1], &c, 1);
    }

    // The next page to read: the one the run waits for, else the next page
    // read ahead within the window. Called with the mutex held.
    JobPtr nextJob()
    {
        while (!m_urgent.empty()) {
            JobPtr job = m_urgent.front();
            m_urgent.pop_front();
            if (job->wanted && job->state == Job::State::Waiting)
                return job;
        }
        size_t busy = 0;
        for (const JobPtr& job : m_ahead) {
            if (busy >= m_window)
                break;
            if (job->state == Job::State::Waiting)
                return job;
            ++busy;
        }
        return nullptr;
    }

    // Hands the slot's first pages their answers; the next page's time starts now.
    void finish(Slot& slot, std::vector<HelperProcess::Answer>& answers)
    {
        if (answers.empty())
            return;
        std::vector<JobPtr> done;
        for (size_t i = 0; i < answers.size() && !slot.jobs.empty(); ++i) {
            done.push_back(std::move(slot.jobs.front()));
            slot.jobs.pop_front();
        }
        slot.deadline = Clock::now() + std::chrono::milliseconds(m_timeLimitMs);
        std::lock_guard lock(m_mutex);
        for (size_t i = 0; i < done.size(); ++i) {
            done[i]->state = Job::State::Done;
            done[i]->answer = std::move(answers[i]);
        }
        m_done.notify_all();
        answers.clear();
    }

    void finishFirst(Slot& slot, const QString& why,
                     Failure::Kind kind = Failure::Kind::SourceUnreadable)
    {
        std::vector<HelperProcess::Answer> one{failed(why, kind)};
        finish(slot, one);
    }

    // The pages queued behind a failed page go back to be read by another helper.
    void requeue(Slot& slot)
    {
        std::lock_guard lock(m_mutex);
        for (auto it = slot.jobs.rbegin(); it != slot.jobs.rend(); ++it) {
            (*it)->state = Job::State::Waiting;
            if (*it == m_current)
                m_urgent.push_front(*it);
        }
        slot.jobs.clear();
    }

    // Opens the pages about to be read that nobody holds yet, here rather
    // than in the helper, so that the run can take the open file to name and
    // copy from instead of opening it again. One that cannot be opened goes by
    // its path: the helper's failure then says why.
    void openAhead(const std::vector<JobPtr>& jobs)
    {
        for (const JobPtr& job : jobs) {
            {
                std::lock_guard lock(m_mutex);
                if (job->source || job->mode == Mode::DivFragment)
                    continue;
            }
            auto source = std::make_shared<FileSystem::Source>(job->path);
            if (!source->tryFile())
                continue;
            std::lock_guard lock(m_mutex);
            if (!job->source)
                job->source = std::move(source);
        }
    }

    // The descriptor a job's page goes with; -1 for one sent by its path.
    int fileOf(const JobPtr& job)
    {
        std::lock_guard lock(m_mutex);
        return job->source && job->source->isOpen() ? job->source->file().fd() : -1;
    }

    // Sends the slot its new pages in one write.
    void assign(Slot& slot, std::vector<JobPtr>& jobs)
    {
        QString error;
        openAhead(jobs);
        for (int attempt = 0; attempt < 2 && !jobs.empty(); ++attempt) {
            if (!slot.process.running()) {
                if (!slot.process.start(error)) {
                    for (JobPtr& job : jobs) {
                        slot.jobs.push_front(job);
                        finishFirst(slot, error);
                    }
                    return;
                }
                std::lock_guard lock(m_mutex);
                ++m_started;
            }
            for (const JobPtr& job : jobs)
                slot.process.queue(job->mode, job->words, job->encodedPath, fileOf(job));
            if (slot.process.send()) {
                if (slot.jobs.empty())
                    slot.deadline = Clock::now() + std::chrono::milliseconds(m_timeLimitMs);
                slot.jobs.insert(slot.jobs.end(), jobs.begin(), jobs.end());
                return;
            }
            if (!slot.jobs.empty())
                helperGone(slot); // on the page it was reading: that one fails, these go on
            else
                slot.process.stop(true); // it had died while idle: start a fresh one
        }
        for (JobPtr& job : jobs) {
            slot.jobs.push_front(job);
            finishFirst(slot, QStringLiteral("The page reader does not answer."));
        }
    }

    // A helper that no longer takes requests may have answered pages before it
    // went (a page that needs too much memory is answered, then the helper
    // ends): those answers count, and only the page it was reading fails.
    void helperGone(Slot& slot)
    {
        receive(slot);
        if (slot.process.running() && !slot.jobs.empty())
            helperDied(slot);
    }

    void helperDied(Slot& slot)
    {
        const int status = slot.process.stop(true);
        if (slot.jobs.empty())
            return;
        QString why;
        if (WIFSIGNALED(status))
            why = QStringLiteral("The page reader stopped unexpectedly (%1).")
                      .arg(QString::fromLocal8Bit(strsignal(WTERMSIG(status))));
        else
            why = QStringLiteral("The page reader stopped unexpectedly (exit status %1).")
                      .arg(WEXITSTATUS(status));
        finishFirst(slot, why);
        requeue(slot);
    }

    // Takes what a helper has sent; finishes its pages whose answers are complete.
    void receive(Slot& slot)
    {
        const HelperProcess::Read read = slot.process.receive();
        // Answers completed before the helper went away still count.
        std::vector<HelperProcess::Answer> answers;
        bool malformed = false;
        while (answers.size() < slot.jobs.size()) {
            std::optional<HelperProcess::Answer> answer = slot.process.takeAnswer(malformed);
            if (!answer)
                break;
            answers.push_back(std::move(*answer));
        }
        const bool ends = !answers.empty() && answers.back().helperEnds;
        finish(slot, answers);
        if (ends) {
            // Pages sent to it after that page are read by a fresh helper.
            slot.process.stop(true);
            requeue(slot);
        } else if (malformed) {
            slot.process.stop(true);
            finishFirst(slot, QStringLiteral("The page reader gave a malformed answer."));
            requeue(slot);
        } else if (read == HelperProcess::Read::Closed) {
            helperDied(slot);
        }
    }

    void run()
    {
        for (;;) {
            std::vector<std::vector<JobPtr>> toAssign(m_slots.size());
            {
                std::lock_guard lock(m_mutex);
                if (m_stopping)
                    return;
                // Level by level, so that pages spread over the helpers and the
                // page the run waits for goes to the least busy one.
                bool exhausted = false;
                for (size_t depth = 0; depth < kPagesQueuedPerHelper && !exhausted; ++depth) {
                    for (size_t i = 0; i < m_slots.size() && !exhausted; ++i) {
                        if (m_slots[i]->jobs.size() + toAssign[i].size() != depth)
                            continue;
                        JobPtr job = nextJob();
                        exhausted = !job;
                        if (job) {
                            job->state = Job::State::Running;
                            toAssign[i].push_back(std::move(job));
                        }
                    }
                }
            }
            for (size_t i = 0; i < m_slots.size(); ++i)
                if (!toAssign[i].empty())
                    assign(*m_slots[i], toAssign[i]);

            std::vector<struct pollfd> fds{{m_wake[0], POLLIN, 0}};
            std::vector<Slot*> polled;
            int timeout = -1;
            const auto now = Clock::now();
            for (auto& slot : m_slots) {
                if (!slot->process.running())
                    continue;
                fds.push_back({slot->process.socket(), POLLIN, 0});
                polled.push_back(slot.get());
                if (!slot->jobs.empty()) {
                    const auto left =
                        std::chrono::duration_cast<std::chrono::milliseconds>(slot->deadline - now)
                            .count();
                    const int ms = int(std::clamp<long long>(left + 1, 0, m_timeLimitMs + 1));
                    timeout = timeout < 0 ? ms : std::min(timeout, ms);
                }
            }
            const int ready = ::poll(fds.data(), nfds_t(fds.size()), timeout);
            if (ready < 0 && errno != EINTR)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            if (fds[0].revents & POLLIN) {
                char drain[256];
                while (::read(m_wake[0], drain, sizeof drain) > 0) {
                }
            }
            for (size_t i = 0; i < polled.size(); ++i) {
                if (fds[i + 1].revents & (POLLIN | POLLHUP | POLLERR))
                    receive(*polled[i]);
            }
            const auto after = Clock::now();
            for (auto& slot : m_slots) {
                if (!slot->jobs.empty() && after >= slot->deadline) {
                    slot->process.stop(true);
                    finishFirst(*slot,
                                QStringLiteral("Reading the page took longer than %1 seconds.")
                                    .arg(m_timeLimitMs / 1000.0),
                                Failure::Kind::TooSlow);
                    requeue(*slot);
                }
            }
        }
    }

    const size_t m_window; // pages read ahead that may wait for the run
    const int m_timeLimitMs;
    std::vector<std::unique_ptr<Slot>> m_slots; // the scheduler's thread only
    int m_wake[2] = {-1, -1};
    std::thread m_thread;

    mutable std::mutex m_mutex;
    std::condition_variable m_done;
    std::deque<JobPtr> m_ahead;
    std::deque<JobPtr> m_urgent;
    JobPtr m_current;
    bool m_stopping = false;
    int m_started = 0;
};

QString HelperPageText::defaultHelperPath()
{
    QString folder;
    if (QCoreApplication::instance())
        folder = QCoreApplication::applicationDirPath();
    else
        folder =
            QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath().section(u'/', 0, -2);
    return folder + QStringLiteral("/quenby-pagetext");
}

int HelperPageText::defaultTimeLimitMs()
{
    bool ok = false;
    const int ms = qEnvironmentVariableIntValue("QUENBY_PAGE_TIME_LIMIT_MS", &ok);
    return ok && ms > 0 ? ms : kTimeLimitMs;
}

HelperPageText::HelperPageText(const QString& helperPath, int helpers, int timeLimitMs)
    : m_scheduler(std::make_unique<Scheduler>(
          QFile::encodeName(helperPath),
          helpers > 0 ? helpers : int(std::max(1u, std::thread::hardware_concurrency())),
          timeLimitMs))
{
}

HelperPageText::~HelperPageText() = default;

void HelperPageText::navigate(const QString& path)
{
    m_scheduler->navigate(path, Mode::Page);
}

void HelperPageText::navigateOpened(const std::shared_ptr<FileSystem::Source>& source)
{
    m_scheduler->navigate(source->path(), Mode::Page, source);
}

void HelperPageText::navigateMetadataOpened(const std::shared_ptr<FileSystem::Source>& source)
{
    m_scheduler->navigate(source->path(), Mode::Metadata, source);
}

std::shared_ptr<FileSystem::Source> HelperPageText::openedAhead(const QString& path)
{
    return m_scheduler->openedAhead(path);
}

void HelperPageText::releaseFiles()
{
    m_scheduler->releaseFiles();
}

void HelperPageText::navigateFragment(const QString& path)
{
    m_scheduler->navigate(path, Mode::DivFragment);
}

int HelperPageText::readyState()
{
    return m_scheduler->readyState();
}

QString HelperPageText::bodyText()
{
    return m_scheduler->bodyText();
}

void HelperPageText::prefetch(const QStringList& paths, int wordsWanted)
{
    m_scheduler->prefetch(paths, wordsWanted, Mode::Page);
}

void HelperPageText::navigateMetadata(const QString& path)
{
    m_scheduler->navigate(path, Mode::Metadata);
}

PageMetadata HelperPageText::metadata()
{
    return PageMetadata::fromLines(m_scheduler->bodyText());
}

void HelperPageText::prefetchMetadata(const QStringList& paths)
{
    m_scheduler->prefetch(paths, 0, Mode::Metadata);
}

int HelperPageText::helpersStarted() const
{
    return m_scheduler->helpersStarted();
}
