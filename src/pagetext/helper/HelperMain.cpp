// quenby-pagetext: reads pages for the page-text service of Quenby, one request
// after another on standard input, answers on standard output. The HTML parser
// can stop the whole process on some inputs, which is why it runs here and not
// in the program: the service sees this process die and reports the page.

#include "pagetext/PageTextWire.h"
#include "pagetext/engine/FastText.h"
#include "pagetext/engine/NestingGuard.h"
#include "pagetext/engine/PageEncoding.h"
#include "pagetext/engine/PageParser.h"
#include "pagetext/engine/PageWords.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <malloc.h>
#include <new>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

namespace {

using namespace PageTextWire;

// A page is read in pieces that grow fourfold from this size: most pages are
// read whole at once, and of a large page only as much as its first words
// need, when only those are wanted. Beyond that, memory is bounded by
// kMemoryLimit and time by the service's limit: a page that needs more fails
// with a reason rather than being named from a part of it.
constexpr size_t kFirstPieceBytes = size_t(8) << 20;

// The rest of a page, past the piece that settles its first words, is only
// scanned for markup that could change them, this much at a time.
constexpr size_t kScanPieceBytes = size_t(1) << 20;

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
    // The next request, its path and the file it carries (-1 when none;
    // owned by the caller); false at the end of the input or on a malformed
    // request.
    bool next(Request& request, std::string& path, int& file)
    {
        file = -1;
        if (!fill(sizeof request))
            return false;
        std::memcpy(&request, m_in.data() + m_at, sizeof request);
        if (request.magic != kRequestMagic || request.pathBytes > kMaxPathBytes)
            return false;
        if (!fill(sizeof request + request.pathBytes))
            return false;
        path.assign(m_in.data() + m_at + sizeof request, request.pathBytes);
        m_at += sizeof request + request.pathBytes;
        if (request.flags & kCarriesFile) {
            // A file comes no later than the first byte of its request.
            if (m_files.empty())
                return false;
            file = m_files.front();
            m_files.pop_front();
        }
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
            struct iovec part = {buffer, sizeof buffer};
            alignas(struct cmsghdr) char control[CMSG_SPACE(kFilesPerMessage * sizeof(int))];
            struct msghdr message = {};
            message.msg_iov = &part;
            message.msg_iovlen = 1;
            message.msg_control = control;
            message.msg_controllen = sizeof control;
            ssize_t n = m_plainInput ? -1 : ::recvmsg(STDIN_FILENO, &message, MSG_CMSG_CLOEXEC);
            if (n < 0 && errno == ENOTSOCK) {
                m_plainInput = true; // a pipe, as when run by hand: paths only
                message.msg_controllen = 0;
            }
            if (m_plainInput)
                n = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            for (struct cmsghdr* header = CMSG_FIRSTHDR(&message); header;
                 header = CMSG_NXTHDR(&message, header)) {
                if (header->cmsg_level != SOL_SOCKET || header->cmsg_type != SCM_RIGHTS)
                    continue;
                const size_t count = (header->cmsg_len - CMSG_LEN(0)) / sizeof(int);
                for (size_t i = 0; i < count; ++i) {
                    int file;
                    std::memcpy(&file, CMSG_DATA(header) + i * sizeof(int), sizeof file);
                    m_files.push_back(file);
                }
            }
            // Files dropped for want of room would leave requests without theirs.
            if (message.msg_flags & MSG_CTRUNC)
                return false;
            m_in.append(buffer, size_t(n));
        }
        return true;
    }

    std::string m_in;
    size_t m_at = 0;
    std::deque<int> m_files; // received, in the order of their requests
    bool m_plainInput = false;
};

struct FileRead
{
    std::string bytes; // the page, or as much of it as has been read
    bool whole = false;
    Stamp stamp;
    int error = 0;
    std::string description;
    int fd = -1;
};

// Opens the page, unless it came open as `file`; `r.bytes` keeps its capacity
// from page to page.
void openPage(const std::string& path, int file, FileRead& r)
{
    r.bytes.clear();
    r.whole = false;
    r.stamp = Stamp();
    r.error = 0;
    r.description.clear();
    // Non-blocking open: a FIFO must not hang the helper; it is refused below.
    r.fd = file >= 0 ? file : ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (r.fd < 0) {
        r.error = errno;
        return;
    }
    struct stat st;
    if (::fstat(r.fd, &st) != 0)
        r.error = errno;
    else if (S_ISDIR(st.st_mode))
        r.error = EISDIR;
    else if (!S_ISREG(st.st_mode))
        r.description = "The path does not name a regular file.";
    else
        r.stamp = stampOf(st);
}

void closePage(FileRead& r)
{
    if (r.fd >= 0)
        ::close(r.fd);
    r.fd = -1;
}

// Reads on until more than `limit` bytes are held or the page ends; false on a
// read error (in `r.error`).
bool readUpTo(FileRead& r, size_t limit)
{
    const size_t want = limit == SIZE_MAX ? SIZE_MAX : limit + 1;
    while (!r.whole && r.bytes.size() < want) {
        const size_t before = r.bytes.size();
        const size_t room =
            std::min<size_t>(want - before, std::max<size_t>(before, kScanPieceBytes));
        r.bytes.resize(before + room);
        // Positioned: a file that came open shares its position with the
        // service, and may be read again by another helper.
        const ssize_t n = ::pread(r.fd, r.bytes.data() + before, room, off_t(before));
        if (n < 0 && errno == EINTR) {
            r.bytes.resize(before);
            continue;
        }
        r.bytes.resize(before + size_t(std::max<ssize_t>(n, 0)));
        if (n < 0) {
            r.error = errno;
            return false;
        }
        // The size the stamp gives ends the page without a read that finds the
        // end; a file that grows meanwhile is no longer the file stamped.
        r.whole = n == 0 || (r.stamp.size > 0 && r.bytes.size() >= size_t(r.stamp.size));
    }
    return true;
}

// True when the page past what has been read holds markup that can change the
// text before it (restCanReachBack), read in pieces and kept in none; a read
// error counts as such markup.
bool restReachesBack(const FileRead& r)
{
    // A tag cut at the end of what was read is seen whole.
    constexpr size_t kOverlap = 8;
    std::string piece(kScanPieceBytes + kOverlap, '\0');
    off_t at = off_t(r.bytes.size() - std::min(r.bytes.size(), kOverlap));
    for (;;) {
        const ssize_t n = ::pread(r.fd, piece.data(), piece.size(), at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return true;
        if (restCanReachBack(std::string_view(piece.data(), size_t(n))))
            return true;
        if (size_t(n) < piece.size())
            return false;
        at += off_t(n - kOverlap);
    }
}

// `bytes` as UTF-8 markup: a view of them when they are UTF-8 already (most
// pages), else of their decoding in `decoded`.
std::string_view asUtf8(std::string_view bytes, bool cut, std::string& decoded)
{
    if (PageEncoding::detect(bytes, cut) == "UTF-8") {
        if (bytes.substr(0, 3) == "\xEF\xBB\xBF")
            bytes.remove_prefix(3);
        return bytes;
    }
    decoded = PageEncoding::toUtf8(bytes, cut);
    return decoded;
}

// The text of the start of a page when it settles the first words, else nothing.
std::optional<std::string> settledText(std::string_view html, int words, PageParser& parser,
                                       size_t firstTry)
{
    FastText::Result fast = FastText::read(html, words);
    if (fast.taken) {
        if (PageWords::settled(fast.text, words))
            return std::move(fast.text);
        return std::nullopt;
    }
    return parser.prefixText(html, words, true, firstTry);
}

// The body text of the page, read in growing pieces until it is whole or its
// start settles the words wanted. With words wanted, only what a name can take
// of them is sent.
std::string pageText(FileRead& file, int words, PageParser& parser)
{
    std::string decoded;
    size_t tried = 0; // prefixes up to this size have been tried
    for (size_t limit = kFirstPieceBytes;; limit = limit > SIZE_MAX / 4 ? SIZE_MAX : limit * 4) {
        if (!readUpTo(file, limit))
            return {};
        const std::string_view html = asUtf8(file.bytes, !file.whole, decoded);
        if (file.whole) {
            std::string text = FastText::bodyText(html, words, parser);
            return words > 0 ? PageWords::firstWords(text, words) : text;
        }
        if (words > 0) {
            const std::optional<std::string> text = settledText(html, words, parser, tried);
            if (text && !restReachesBack(file))
                return PageWords::firstWords(*text, words);
        }
        tried = limit;
    }
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
    Held::hold(Status::Ending, ENOMEM, Stamp{},
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
    int given = -1;
    FileRead file;
    while (reader.next(request, path, given)) {
        Stamp stamp;
        try {
            openPage(path, given, file);
            stamp = file.stamp;
            std::string text;
            if (!file.error && file.description.empty()) {
                if (request.mode == Mode::Metadata) {
                    // The title and <meta> elements may stand anywhere: the whole page.
                    if (readUpTo(file, SIZE_MAX)) {
                        std::string html = PageEncoding::toUtf8(file.bytes, false);
                        bool flattened = false;
                        std::string flat = NestingGuard::flatten(html, flattened);
                        text = parser.metadata(flattened ? flat : html);
                    }
                } else if (request.mode == Mode::DivFragment) {
                    if (readUpTo(file, SIZE_MAX)) {
                        std::string html = PageEncoding::toUtf8(file.bytes, false);
                        bool flattened = false;
                        std::string flat = NestingGuard::flatten(html, flattened);
                        text = parser.fragmentText(flattened ? flat : html);
                    }
                } else {
                    text = pageText(file, request.wordsWanted, parser);
                }
            }
            closePage(file);
            if (file.error)
                Held::hold(Status::Failed, file.error, file.stamp, std::strerror(file.error));
            else if (!file.description.empty())
                Held::hold(Status::Failed, 0, file.stamp, file.description);
            else
                Held::hold(Status::Text, 0, file.stamp, text);
        } catch (const PageError& e) {
            closePage(file);
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
