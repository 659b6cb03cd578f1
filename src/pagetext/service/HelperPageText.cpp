#include "pagetext/service/HelperPageText.h"

#include "pagetext/PageTextWire.h"
#include "platform/Failure.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

using namespace PageTextWire;
using Clock = std::chrono::steady_clock;

namespace {

struct Job
{
    QString path;
    QByteArray encodedPath;
    Mode mode = Mode::Page;
    int words = 0;

    enum class State {
        Waiting,
        Running,
        Done,
    } state = State::Waiting;
    bool wanted = true;         // false once the run has passed it by
    bool checkFreshness = true; // read before it was asked for: compare with the file now

    bool ok = false;
    QString text; // the text, or the failure's description
    int code = 0;
    Stamp stamp;
};
using JobPtr = std::shared_ptr<Job>;

// The file's stamp now; the default (size -1) when it cannot be examined.
Stamp stampOf(const QByteArray& path)
{
    struct stat st;
    return ::stat(path.constData(), &st) == 0 ? PageTextWire::stampOf(st) : Stamp();
}

// One helper process and the pages sent to it, answered in order. A second
// page waits in its socket so that the helper never idles between pages.
struct Helper
{
    pid_t pid = -1;
    int fd = -1;
    std::deque<JobPtr> jobs;
    Clock::time_point deadline; // of the first job
    std::string received;
};

constexpr size_t kPagesPerHelper = 2;

} // namespace

class HelperPageText::Pool
{
public:
    Pool(QByteArray helperPath, int helpers)
        : m_helperPath(std::move(helperPath)), m_helpers(size_t(std::max(1, helpers))),
          m_window(4 * std::max(1, helpers) + 4)
    {
        if (::pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0)
            throw Failure::fromErrno(errno);
        m_thread = std::thread([this] { run(); });
    }

    ~Pool()
    {
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        wake();
        m_thread.join();
        for (Helper& h : m_helpers)
            stopHelper(h, false);
        ::close(m_wake[0]);
        ::close(m_wake[1]);
    }

    void navigate(const QString& path, Mode mode)
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
            job->encodedPath = QFile::encodeName(path);
            job->mode = mode;
        }
        if (m_current && m_current != job)
            m_current->wanted = false;
        m_current = job;
        if (job->state == Job::State::Waiting) {
            job->checkFreshness = false;
            m_urgent.push_back(job);
            wake();
        }
    }

    void prefetch(const QStringList& paths, int words)
    {
        std::lock_guard lock(m_mutex);
        std::deque<JobPtr> old;
        old.swap(m_ahead);
        QHash<QString, QList<JobPtr>> reusable;
        for (const JobPtr& j : old)
            if (j->wanted && j->mode == Mode::Page && (j->words == words || j->words == 0))
                reusable[j->path].append(j);
        for (const QString& path : paths) {
            JobPtr job;
            auto it = reusable.find(path);
            if (it != reusable.end() && !it->isEmpty()) {
                job = it->takeFirst();
            } else {
                job = std::make_shared<Job>();
                job->path = path;
                job->encodedPath = QFile::encodeName(path);
                job->words = std::max(0, words);
            }
            m_ahead.push_back(job);
        }
        for (const auto& list : std::as_const(reusable))
            for (const JobPtr& j : list)
                j->wanted = false;
        wake();
    }

    int readyState()
    {
        std::unique_lock lock(m_mutex);
        if (!m_current || settled())
            return 4;
        // Other pages finishing wake this wait too; it still lasts its full
        // time, so that the caller's count of polls measures time.
        const auto until = Clock::now() + std::chrono::milliseconds(kPollWaitMs);
        while (m_done.wait_until(lock, until) != std::cv_status::timeout)
            if (settled())
                return 4;
        return settled() ? 4 : 1;
    }

    QString bodyText()
    {
        std::unique_lock lock(m_mutex);
        if (!m_current)
            throw Failure(QStringLiteral("No page has been opened."));
        // Bounded: a page waits at most for a free place in a helper, for the
        // page queued before it there, then for its own read.
        const auto deadline = Clock::now() + std::chrono::milliseconds(4 * kTimeLimitMs + 2000);
        while (!settled()) {
            if (m_done.wait_until(lock, deadline) == std::cv_status::timeout && !settled())
                throw Failure(QStringLiteral("The page is still being read."));
        }
        if (!m_current->ok)
            throw Failure(m_current->text, m_current->code);
        return m_current->text;
    }

    int helpersStarted() const
    {
        std::lock_guard lock(m_mutex);
        return m_started;
    }

private:
    // True when the current page's text is there and is that of the file as it
    // is now; a page read ahead of time whose file has changed is read again.
    bool settled()
    {
        Job& job = *m_current;
        if (job.state != Job::State::Done)
            return false;
        if (job.checkFreshness) {
            job.checkFreshness = false;
            if (!(stampOf(job.encodedPath) == job.stamp) || job.stamp.size < 0) {
                job.state = Job::State::Waiting;
                job.text.clear();
                m_urgent.push_back(m_current);
                wake();
                return false;
            }
        }
        return true;
    }

    void wake()
    {
        const char c = 1;
        [[maybe_unused]] ssize_t n = ::write(m_wake[1], &c, 1);
    }

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

    // Finishes the helper's first page; the next one's time starts now.
    void finish(Helper& h, bool ok, const QString& text, int code, const Stamp& stamp)
    {
        JobPtr job = std::move(h.jobs.front());
        h.jobs.pop_front();
        h.deadline = Clock::now() + std::chrono::milliseconds(kTimeLimitMs);
        std::lock_guard lock(m_mutex);
        job->state = Job::State::Done;
        job->ok = ok;
        job->text = text;
        job->code = code;
        job->stamp = stamp;
        m_done.notify_all();
    }

    // The pages queued behind a failed page go back to be read by another helper.
    void requeue(Helper& h)
    {
        std::lock_guard lock(m_mutex);
        for (auto it = h.jobs.rbegin(); it != h.jobs.rend(); ++it) {
            (*it)->state = Job::State::Waiting;
            if (*it == m_current)
                m_urgent.push_front(*it);
        }
        h.jobs.clear();
        h.received.clear();
    }

    bool startHelper(Helper& h, QString& error)
    {
        int sockets[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0) {
            error = QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, sockets[1], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, sockets[1], STDOUT_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t none, defaults;
        sigemptyset(&none);
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGPIPE);
        sigaddset(&defaults, SIGTERM);
        sigaddset(&defaults, SIGINT);
        posix_spawnattr_setsigmask(&attributes, &none);
        posix_spawnattr_setsigdefault(&attributes, &defaults);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
        char* argv[] = {const_cast<char*>(m_helperPath.constData()), nullptr};
        pid_t pid = -1;
        const int rc =
            ::posix_spawn(&pid, m_helperPath.constData(), &actions, &attributes, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
        ::close(sockets[1]);
        if (rc != 0) {
            ::close(sockets[0]);
            error = QStringLiteral("The page reader %1 could not be started: %2")
                        .arg(QString::fromLocal8Bit(m_helperPath),
                             QString::fromLocal8Bit(std::strerror(rc)));
            return false;
        }
        ::fcntl(sockets[0], F_SETFL, O_NONBLOCK);
        h.pid = pid;
        h.fd = sockets[0];
        h.received.clear();
        std::lock_guard lock(m_mutex);
        ++m_started;
        return true;
    }

    // Ends a helper: at once when `kill`, else it is asked to leave by closing
    // its socket and given a moment.
    static int stopHelper(Helper& h, bool kill)
    {
        if (h.pid <= 0)
            return 0;
        if (kill)
            ::kill(h.pid, SIGKILL);
        ::close(h.fd);
        h.fd = -1;
        int status = 0;
        for (int i = 0; !kill && i < 50; ++i) {
            if (::waitpid(h.pid, &status, WNOHANG) == h.pid) {
                h.pid = -1;
                return status;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(4));
        }
        if (!kill)
            ::kill(h.pid, SIGKILL);
        while (::waitpid(h.pid, &status, 0) < 0 && errno == EINTR) {
        }
        h.pid = -1;
        return status;
    }

    bool send(Helper& h, const Job& job)
    {
        Request request;
        request.mode = job.mode;
        request.wordsWanted = job.words;
        request.pathBytes = uint32_t(job.encodedPath.size());
        std::string bytes(reinterpret_cast<const char*>(&request), sizeof request);
        bytes.append(job.encodedPath.constData(), size_t(job.encodedPath.size()));
        size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n = ::send(h.fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno == EAGAIN) {
                struct pollfd p = {h.fd, POLLOUT, 0};
                if (::poll(&p, 1, 1000) <= 0)
                    return false;
                continue;
            }
            if (n <= 0)
                return false;
            sent += size_t(n);
        }
        return true;
    }

    void assign(Helper& h, const JobPtr& job)
    {
        QString error;
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (h.pid <= 0 && !startHelper(h, error)) {
                h.jobs.push_front(job);
                finish(h, false, error, 0, Stamp{});
                return;
            }
            if (send(h, *job)) {
                if (h.jobs.empty())
                    h.deadline = Clock::now() + std::chrono::milliseconds(kTimeLimitMs);
                h.jobs.push_back(job);
                return;
            }
            if (!h.jobs.empty())
                helperDied(h); // on the page it was reading: that one fails, this one goes on
            else
                stopHelper(h, true); // it had died while idle: start a fresh one
        }
        h.jobs.push_front(job);
        finish(h, false, QStringLiteral("The page reader does not answer."), 0, Stamp{});
    }

    void helperDied(Helper& h)
    {
        const int status = stopHelper(h, true);
        if (h.jobs.empty())
            return;
        QString why;
        if (WIFSIGNALED(status))
            why = QStringLiteral("The page reader stopped unexpectedly (%1).")
                      .arg(QString::fromLocal8Bit(strsignal(WTERMSIG(status))));
        else
            why = QStringLiteral("The page reader stopped unexpectedly (exit status %1).")
                      .arg(WEXITSTATUS(status));
        finish(h, false, why, 0, Stamp{});
        requeue(h);
    }

    // Reads what a helper has sent; finishes its page once the answer is complete.
    void receive(Helper& h)
    {
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::read(h.fd, buffer, sizeof buffer);
            if (n > 0) {
                h.received.append(buffer, size_t(n));
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno == EAGAIN)
                break;
            // End of file or error: the helper is gone. Answers it completed first still count.
            while (!h.jobs.empty() && completeAnswer(h)) {
            }
            if (h.pid > 0)
                helperDied(h);
            return;
        }
        while (!h.jobs.empty() && completeAnswer(h)) {
        }
    }

    bool completeAnswer(Helper& h)
    {
        if (h.received.size() < sizeof(Response))
            return false;
        Response r;
        std::memcpy(&r, h.received.data(), sizeof r);
        if (r.magic != kResponseMagic || r.payloadBytes > (uint64_t(1) << 29)) {
            stopHelper(h, true);
            finish(h, false, QStringLiteral("The page reader gave a malformed answer."), 0,
                   Stamp{});
            requeue(h);
            return false;
        }
        if (h.received.size() < sizeof r + r.payloadBytes)
            return false;
        const QString payload =
            QString::fromUtf8(h.received.data() + sizeof r, qsizetype(r.payloadBytes));
        h.received.erase(0, sizeof r + size_t(r.payloadBytes));
        finish(h, r.status == Status::Text, payload, r.code, r.stamp);
        return true;
    }

    void run()
    {
        for (;;) {
            std::vector<std::pair<Helper*, JobPtr>> toAssign;
            {
                std::lock_guard lock(m_mutex);
                if (m_stopping)
                    return;
                // Idle helpers first, then a second page for each.
                for (size_t depth = 0; depth < kPagesPerHelper; ++depth) {
                    for (Helper& h : m_helpers) {
                        if (h.jobs.size() != depth)
                            continue;
                        JobPtr job = nextJob();
                        if (!job)
                            break;
                        job->state = Job::State::Running;
                        toAssign.emplace_back(&h, job);
                    }
                }
            }
            for (auto& [h, job] : toAssign)
                assign(*h, job);

            std::vector<struct pollfd> fds{{m_wake[0], POLLIN, 0}};
            std::vector<Helper*> polled;
            int timeout = -1;
            const auto now = Clock::now();
            for (Helper& h : m_helpers) {
                if (h.pid <= 0)
                    continue;
                fds.push_back({h.fd, POLLIN, 0});
                polled.push_back(&h);
                if (!h.jobs.empty()) {
                    const auto left =
                        std::chrono::duration_cast<std::chrono::milliseconds>(h.deadline - now)
                            .count();
                    const int ms = int(std::clamp<long long>(left + 1, 0, kTimeLimitMs + 1));
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
                Helper& h = *polled[i];
                if (fds[i + 1].revents & (POLLIN | POLLHUP | POLLERR))
                    receive(h);
            }
            const auto after = Clock::now();
            for (Helper& h : m_helpers) {
                if (!h.jobs.empty() && after >= h.deadline) {
                    stopHelper(h, true);
                    finish(h, false,
                           QStringLiteral("Reading the page took longer than %1 seconds.")
                               .arg(kTimeLimitMs / 1000),
                           0, Stamp{});
                    requeue(h);
                }
            }
        }
    }

    const QByteArray m_helperPath;
    std::vector<Helper> m_helpers; // the pool's thread only, after construction
    const size_t m_window;         // pages read ahead that may wait for the run
    int m_wake[2] = {-1, -1};
    std::thread m_thread;

    mutable std::mutex m_mutex; // guards what follows, and the jobs' fields
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

HelperPageText::HelperPageText(const QString& helperPath, int helpers)
    : m_pool(std::make_unique<Pool>(
          QFile::encodeName(helperPath),
          helpers > 0 ? helpers : int(std::max(1u, std::thread::hardware_concurrency()))))
{
}

HelperPageText::~HelperPageText() = default;

void HelperPageText::navigate(const QString& path)
{
    m_pool->navigate(path, Mode::Page);
}

void HelperPageText::navigateFragment(const QString& path)
{
    m_pool->navigate(path, Mode::DivFragment);
}

int HelperPageText::readyState()
{
    return m_pool->readyState();
}

QString HelperPageText::bodyText()
{
    return m_pool->bodyText();
}

void HelperPageText::prefetch(const QStringList& paths, int wordsWanted)
{
    m_pool->prefetch(paths, wordsWanted);
}

int HelperPageText::helpersStarted() const
{
    return m_pool->helpersStarted();
}
