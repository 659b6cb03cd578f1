// quenby-pagetext: reads pages for the page-text service of Quenby, one request
// after another on standard input, answers on standard output. The HTML parser
// can stop the whole process on some inputs, which is why it runs here and not
// in the program: the service sees this process die and reports the page.

#include "pagetext/PageTextWire.h"
#include "pagetext/engine/FastText.h"
#include "pagetext/engine/NestingGuard.h"
#include "pagetext/engine/PageEncoding.h"
#include "pagetext/engine/PageParser.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <malloc.h>
#include <new>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

namespace {

using namespace PageTextWire;

// Larger pages are read in part: their first 8 MiB still give thousands of words.
constexpr size_t kMaxPageBytes = size_t(8) << 20;

// Address space allowed to this process; a page that needs more fails alone.
constexpr rlim_t kMemoryLimit = rlim_t(1) << 30;

bool writeAll(int fd, const char* p, size_t size)
{
    while (size) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= size_t(n);
    }
    return true;
}

// Answers held back to be sent in groups. A page that hangs or stops this
// process must not take the answers of the pages before it along: a timer
// sends them after kHeldAnswerTime, and a crash sends them on its way out.
// Both do so from a signal handler, so the buffer is plain memory, and the
// handler keeps off it while the main code is changing it.
namespace Held {

constexpr int kHeldAnswerMs = 20;
constexpr size_t kHeldAnswerBytes = size_t(256) << 10;

char* data = nullptr;
size_t size = 0;
size_t capacity = 0;
volatile sig_atomic_t changing = 0;
volatile sig_atomic_t broken = 0; // the service is gone

void sendNow()
{
    if (size && !broken && !writeAll(STDOUT_FILENO, data, size))
        broken = 1;
    size = 0;
}

void onTimer(int)
{
    const int saved = errno;
    if (!changing)
        sendNow();
    errno = saved;
}

void onCrash(int signal)
{
    if (!changing)
        sendNow();
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

void append(const void* bytes, size_t n)
{
    if (size + n > capacity) {
        const size_t grown = std::max(capacity * 2, size + n + 4096);
        char* bigger = static_cast<char*>(std::realloc(data, grown));
        if (!bigger)
            throw std::bad_alloc();
        data = bigger;
        capacity = grown;
    }
    std::memcpy(data + size, bytes, n);
    size += n;
}

void install()
{
    struct sigaction timer = {};
    timer.sa_handler = &onTimer;
    timer.sa_flags = SA_RESTART;
    sigaction(SIGALRM, &timer, nullptr);
    for (const int signal : {SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL})
        ::signal(signal, &onCrash);
}

void hold(Status status, int code, const Stamp& stamp, std::string_view payload)
{
    Response r;
    r.status = status;
    r.code = code;
    r.stamp = stamp;
    r.payloadBytes = payload.size();
    changing = 1;
    const size_t before = size;
    try {
        append(&r, sizeof r);
        append(payload.data(), payload.size());
    } catch (...) {
        size = before; // no half answer
        changing = 0;
        throw;
    }
    changing = 0;
    const bool first = before == 0;
    if (first) {
        struct itimerval once = {};
        once.it_value.tv_usec = kHeldAnswerMs * 1000;
        setitimer(ITIMER_REAL, &once, nullptr);
    }
}

// The main code's own send; false once the service is gone.
bool send()
{
    changing = 1;
    sendNow();
    changing = 0;
    return !broken;
}

} // namespace Held

// Requests arrive in groups and are read in large pieces; the answers go out
// once no request is waiting (or they grow large), so that a group of pages
// costs the service and this process one wake-up rather than one a page.
class RequestReader
{
public:
    // The next request and its path; false at the end of the input or on a
    // malformed request.
    bool next(Request& request, std::string& path)
    {
        if (!fill(sizeof request))
            return false;
        std::memcpy(&request, m_in.data() + m_at, sizeof request);
        if (request.magic != kRequestMagic || request.pathBytes > kMaxPathBytes)
            return false;
        if (!fill(sizeof request + request.pathBytes))
            return false;
        path.assign(m_in.data() + m_at + sizeof request, request.pathBytes);
        m_at += sizeof request + request.pathBytes;
        return true;
    }

    bool requestWaiting()
    {
        if (m_in.size() - m_at >= sizeof(Request))
            return true;
        struct pollfd p = {STDIN_FILENO, POLLIN, 0};
        return ::poll(&p, 1, 0) > 0;
    }

private:
    static constexpr uint32_t kMaxPathBytes = 1u << 20;

    bool fill(size_t bytes)
    {
        if (m_at > 0 && m_in.size() - m_at < bytes) {
            m_in.erase(0, m_at);
            m_at = 0;
        }
        while (m_in.size() - m_at < bytes) {
            // About to wait for the service: what is held goes out first.
            if (!Held::send())
                return false;
            char buffer[65536];
            const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            m_in.append(buffer, size_t(n));
        }
        return true;
    }

    std::string m_in;
    size_t m_at = 0;
};

struct FileRead
{
    std::string bytes;
    bool truncated = false;
    Stamp stamp;
    int error = 0;
    std::string description;
};

// `r.bytes` keeps its capacity from page to page.
void readPage(const std::string& path, FileRead& r)
{
    r.bytes.clear();
    r.truncated = false;
    r.stamp = Stamp();
    r.error = 0;
    r.description.clear();
    // Non-blocking open: a FIFO must not hang the helper; it is refused below.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        r.error = errno;
        return;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        r.error = errno;
    } else if (S_ISDIR(st.st_mode)) {
        r.error = EISDIR;
    } else if (!S_ISREG(st.st_mode)) {
        r.description = "The path does not name a regular file.";
    } else {
        r.stamp = stampOf(st);
        const size_t want = std::min<size_t>(size_t(st.st_size), kMaxPageBytes);
        r.bytes.resize(want + 1);
        size_t got = 0;
        while (got < r.bytes.size()) {
            const ssize_t n = ::read(fd, r.bytes.data() + got, r.bytes.size() - got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                r.error = errno;
                break;
            }
            if (n == 0)
                break;
            got += size_t(n);
        }
        r.truncated = got > kMaxPageBytes;
        r.bytes.resize(std::min(got, kMaxPageBytes));
    }
    ::close(fd);
}

void limitResources()
{
    // An aborting parser must not leave core files behind.
    struct rlimit core = {0, 0};
    setrlimit(RLIMIT_CORE, &core);
#if defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer reserves terabytes of address space for its shadow
    // memory, so an address-space limit would stop it at start: sanitizer
    // builds go without one (the service's time limit still applies).
#else
    struct rlimit memory = {kMemoryLimit, kMemoryLimit};
    setrlimit(RLIMIT_AS, &memory);
#endif
}

void outOfMemory()
{
    Held::changing = 0; // the failure may have come while an answer was being held
    Held::hold(Status::Failed, ENOMEM, Stamp{},
               "The page needs more memory than its reader may use.");
    Held::send();
    ::_exit(3);
}

} // namespace

int main()
{
    limitResources();
    // Pages and their copies come and go in sizes that malloc would otherwise
    // map and unmap afresh for every page, paying page faults each time.
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 128 << 20);
    PageParser::outOfMemory = &outOfMemory;
    PageParser parser;
    Held::install();
    RequestReader reader;
    Request request;
    std::string path;
    FileRead file;
    while (reader.next(request, path)) {
        Stamp stamp;
        try {
            readPage(path, file);
            stamp = file.stamp;
            if (file.error) {
                Held::hold(Status::Failed, file.error, file.stamp, std::strerror(file.error));
            } else if (!file.description.empty()) {
                Held::hold(Status::Failed, 0, file.stamp, file.description);
            } else if (request.mode == Mode::DivFragment) {
                std::string html = PageEncoding::toUtf8(file.bytes, file.truncated);
                bool flattened = false;
                std::string flat = NestingGuard::flatten(html, flattened);
                Held::hold(Status::Text, 0, file.stamp,
                           parser.fragmentText(flattened ? flat : html));
            } else {
                // Most pages are UTF-8 already: those are parsed where they were read.
                std::string decoded;
                std::string_view html = file.bytes;
                if (PageEncoding::detect(html, file.truncated) == "UTF-8") {
                    if (html.substr(0, 3) == "\xEF\xBB\xBF")
                        html.remove_prefix(3);
                } else {
                    decoded = PageEncoding::toUtf8(file.bytes, file.truncated);
                    html = decoded;
                }
                Held::hold(Status::Text, 0, file.stamp,
                           FastText::bodyText(html, request.wordsWanted, parser));
            }
        } catch (const PageError& e) {
            Held::hold(Status::Failed, 0, stamp, e.what());
        } catch (const std::bad_alloc&) {
            outOfMemory();
        }
        if ((Held::size >= Held::kHeldAnswerBytes || !reader.requestWaiting()) && !Held::send())
            return 0;
    }
    Held::send();
    return 0;
}
