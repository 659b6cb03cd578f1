// quenby-pagetext: reads pages for the page-text service of Quenby, one request
// after another on standard input, answers on standard output. The HTML parser
// can stop the whole process on some inputs, which is why it runs here and not
// in the program: the service sees this process die and reports the page.

#include "pagetext/PageTextWire.h"
#include "pagetext/engine/NestingGuard.h"
#include "pagetext/engine/PageEncoding.h"
#include "pagetext/engine/PageParser.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace PageTextWire;

// Larger pages are read in part: their first 8 MiB still give thousands of words.
constexpr size_t kMaxPageBytes = size_t(8) << 20;

// Address space allowed to this process; a page that needs more fails alone.
constexpr rlim_t kMemoryLimit = rlim_t(1) << 30;

bool readExactly(int fd, void* data, size_t size)
{
    char* p = static_cast<char*>(data);
    while (size) {
        const ssize_t n = ::read(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= size_t(n);
    }
    return true;
}

bool writeAll(int fd, const void* data, size_t size)
{
    const char* p = static_cast<const char*>(data);
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

bool respond(Status status, int code, const Stamp& stamp, const std::string& payload)
{
    Response r;
    r.status = status;
    r.code = code;
    r.stamp = stamp;
    r.payloadBytes = payload.size();
    return writeAll(STDOUT_FILENO, &r, sizeof r) &&
           writeAll(STDOUT_FILENO, payload.data(), payload.size());
}

struct FileRead
{
    std::string bytes;
    bool truncated = false;
    Stamp stamp;
    int error = 0;
    std::string description;
};

FileRead readPage(const std::string& path)
{
    FileRead r;
    // Non-blocking open: a FIFO must not hang the helper; it is refused below.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        r.error = errno;
        return r;
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
    return r;
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
    respond(Status::Failed, ENOMEM, Stamp{}, "The page needs more memory than its reader may use.");
    ::_exit(3);
}

} // namespace

int main()
{
    limitResources();
    PageParser::outOfMemory = &outOfMemory;
    PageParser parser;
    for (;;) {
        Request request;
        if (!readExactly(STDIN_FILENO, &request, sizeof request) ||
            request.magic != kRequestMagic || request.pathBytes > (1u << 20))
            return 0;
        std::string path(request.pathBytes, '\0');
        if (!readExactly(STDIN_FILENO, path.data(), path.size()))
            return 0;
        bool sent = false;
        Stamp stamp;
        try {
            FileRead file = readPage(path);
            stamp = file.stamp;
            if (file.error) {
                sent = respond(Status::Failed, file.error, file.stamp, std::strerror(file.error));
            } else if (!file.description.empty()) {
                sent = respond(Status::Failed, 0, file.stamp, file.description);
            } else {
                std::string html = PageEncoding::toUtf8(file.bytes, file.truncated);
                file.bytes = std::string();
                bool flattened = false;
                std::string flat = NestingGuard::flatten(html, flattened);
                if (flattened)
                    html.swap(flat);
                flat = std::string();
                const std::string text = request.mode == Mode::DivFragment
                                             ? parser.fragmentText(html)
                                             : parser.bodyText(html, request.wordsWanted);
                sent = respond(Status::Text, 0, file.stamp, text);
            }
        } catch (const PageError& e) {
            sent = respond(Status::Failed, 0, stamp, e.what());
        } catch (const std::bad_alloc&) {
            outOfMemory();
        }
        if (!sent)
            return 0;
    }
}
