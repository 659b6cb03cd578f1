#include "pagetext/service/HelperProcess.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

using namespace PageTextWire;

bool HelperProcess::start(QString& error)
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
    char* argv[] = {const_cast<char*>(m_program.constData()), nullptr};
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, m_program.constData(), &actions, &attributes, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(sockets[1]);
    if (rc != 0) {
        ::close(sockets[0]);
        error =
            QStringLiteral("The page reader %1 could not be started: %2")
                .arg(QString::fromLocal8Bit(m_program), QString::fromLocal8Bit(std::strerror(rc)));
        return false;
    }
    ::fcntl(sockets[0], F_SETFL, O_NONBLOCK);
    m_pid = pid;
    m_fd = sockets[0];
    m_toSend.clear();
    m_received.clear();
    m_receivedAt = 0;
    return true;
}

void HelperProcess::queue(Mode mode, int words, const QByteArray& path)
{
    Request request;
    request.mode = mode;
    request.wordsWanted = words;
    request.pathBytes = uint32_t(path.size());
    m_toSend.append(reinterpret_cast<const char*>(&request), sizeof request);
    m_toSend.append(path.constData(), size_t(path.size()));
}

bool HelperProcess::send()
{
    size_t sent = 0;
    bool ok = true;
    while (sent < m_toSend.size()) {
        const ssize_t n =
            ::send(m_fd, m_toSend.data() + sent, m_toSend.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) {
            // The helper reads as it goes; a full socket drains within moments.
            struct pollfd p = {m_fd, POLLOUT, 0};
            if (::poll(&p, 1, 1000) <= 0) {
                ok = false;
                break;
            }
            continue;
        }
        if (n <= 0) {
            ok = false;
            break;
        }
        sent += size_t(n);
    }
    m_toSend.clear();
    return ok;
}

HelperProcess::Read HelperProcess::receive()
{
    if (m_receivedAt > 0) {
        m_received.erase(0, m_receivedAt);
        m_receivedAt = 0;
    }
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n > 0) {
            m_received.append(buffer, size_t(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return Read::Open;
        return Read::Closed;
    }
}

std::optional<HelperProcess::Answer> HelperProcess::takeAnswer(bool& malformed)
{
    malformed = false;
    const size_t held = m_received.size() - m_receivedAt;
    if (held < sizeof(Response))
        return std::nullopt;
    Response r;
    std::memcpy(&r, m_received.data() + m_receivedAt, sizeof r);
    if (r.magic != kResponseMagic || r.payloadBytes > kMaxAnswerBytes) {
        malformed = true;
        return std::nullopt;
    }
    if (held < sizeof r + r.payloadBytes)
        return std::nullopt;
    Answer answer;
    answer.ok = r.status == Status::Text;
    answer.helperEnds = r.status == Status::Ending;
    answer.text =
        QString::fromUtf8(m_received.data() + m_receivedAt + sizeof r, qsizetype(r.payloadBytes));
    answer.code = r.code;
    answer.stamp = r.stamp;
    m_receivedAt += sizeof r + size_t(r.payloadBytes);
    return answer;
}

int HelperProcess::stop(bool kill)
{
    if (m_pid <= 0)
        return 0;
    if (kill)
        ::kill(m_pid, SIGKILL);
    ::close(m_fd);
    m_fd = -1;
    m_toSend.clear();
    m_received.clear();
    m_receivedAt = 0;
    int status = 0;
    constexpr int kStepMs = 4;
    for (int waited = 0; !kill && waited < kLeaveGraceMs; waited += kStepMs) {
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            return status;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(kStepMs));
    }
    if (!kill)
        ::kill(m_pid, SIGKILL);
    while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
    }
    m_pid = -1;
    return status;
}
