#pragma once

#include "pagetext/PageTextWire.h"
#include "platform/Failure.h"

#include <QByteArray>
#include <QString>
#include <optional>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

// One quenby-pagetext process and its socket. Not thread-safe: the scheduler's
// thread alone starts, feeds, reads and stops it.
class HelperProcess
{
public:
    // An answer as the helper sent it.
    struct Answer
    {
        bool ok = false;
        QString text; // the text, or the failure's description
        int code = 0;
        Failure::Kind kind = Failure::Kind::SourceUnreadable; // of a failure
        PageTextWire::Stamp stamp;
        bool helperEnds = false; // the helper takes no more pages after this answer
    };

    enum class Read {
        Open,      // all there was has been read; the socket stays open
        Closed,    // end of input: the helper is gone
        Malformed, // it sent something that is not an answer
    };

    explicit HelperProcess(QByteArray program) : m_program(std::move(program)) {}
    ~HelperProcess() { stop(true); }
    HelperProcess(const HelperProcess&) = delete;
    HelperProcess& operator=(const HelperProcess&) = delete;

    bool running() const { return m_pid > 0; }
    int socket() const { return m_fd; }

    // Starts the process; false with a description for the user when it cannot be.
    bool start(QString& error);

    // Appends one request to those to be sent with the next send(); `file`,
    // when not -1, is an open descriptor of the page that goes with it (the
    // caller keeps its own).
    void queue(PageTextWire::Mode mode, int words, const QByteArray& path, int file = -1);
    // Sends the queued requests in as few writes as the files they carry
    // allow; false when the helper is gone.
    bool send();

    // Reads what has arrived without waiting; complete answers are then
    // taken one by one with takeAnswer().
    Read receive();
    std::optional<Answer> takeAnswer(bool& malformed);

    // Ends the process, at once when `kill`, else after closing its socket
    // and a short grace. Answers its wait status (0 when none was running).
    int stop(bool kill);

private:
    // An answer longer than this is taken for garbage.
    static constexpr uint64_t kMaxAnswerBytes = uint64_t(1) << 29;
    // How long a helper asked to leave may take before it is killed.
    static constexpr int kLeaveGraceMs = 200;

    QByteArray m_program;
    pid_t m_pid = -1;
    int m_fd = -1;
    std::string m_toSend;
    // Where in m_toSend a request that carries a file begins, and the file.
    std::vector<std::pair<size_t, int>> m_filesAt;
    std::string m_received;
    size_t m_receivedAt = 0;
};
