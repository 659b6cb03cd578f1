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
    m_filesAt.clear();
    m_received.clear();
    m_receivedAt = 0;
    return true;
}

namespace {

// Sends `size` bytes with the descriptors `files` riding on the first of them.
ssize_t sendWithFiles(int socket, const char* data, size_t size, const std::vector<int>& files)
{
    struct iovec part = {const_cast<char*>(data), size};
    alignas(struct cmsghdr) char control[CMSG_SPACE(kFilesPerMessage * sizeof(int))] = {};
    struct msghdr message = {};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = CMSG_SPACE(files.size() * sizeof(int));
    struct cmsghdr* header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = SOL_SOCKET;
    header->cmsg_type = SCM_RIGHTS;
    header->cmsg_len = CMSG_LEN(files.size() * sizeof(int));
    std::memcpy(CMSG_DATA(header), files.data(), files.size() * sizeof(int));
    return ::sendmsg(socket, &message, MSG_NOSIGNAL);
}

} // namespace

void HelperProcess::queue(Mode mode, int words, const QByteArray& path, int file)
{
    Request request;
    request.mode = mode;
    request.wordsWanted = words;
    request.pathBytes = uint32_t(path.size());
    request.flags = file >= 0 ? kCarriesFile : 0;
    if (file >= 0)
        m_filesAt.emplace_back(m_toSend.size(), file);
    m_toSend.append(reinterpret_cast<const char*>(&request), sizeof request);
    m_toSend.append(path.constData(), size_t(path.size()));
}

bool HelperProcess::send()
{
    size_t sent = 0;
    size_t nextFile = 0; // the first file of m_filesAt not sent yet
    bool ok = true;
    std::vector<int> files;
    while (sent < m_toSend.size()) {
        // The files of the requests a message begins go with its first byte:
        // the helper then holds each file before it reads its request, and
        // meets them in the order of their requests.
        size_t end = m_toSend.size();
        files.clear();
        for (size_t i = nextFile; i < m_filesAt.size() && m_filesAt[i].first < end; ++i) {
            if (files.size() == kFilesPerMessage) {
                end = m_filesAt[i].first;
                break;
            }
            files.push_back(m_filesAt[i].second);
        }
        const ssize_t n =
            files.empty() ? ::send(m_fd, m_toSend.data() + sent, end - sent, MSG_NOSIGNAL)
                          : sendWithFiles(m_fd, m_toSend.data() + sent, end - sent, files);
        if (n > 0)
            nextFile += files.size();
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
    m_filesAt.clear();
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
    m_filesAt.clear();
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
