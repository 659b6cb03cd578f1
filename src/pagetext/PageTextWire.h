#pragma once

#include <cstddef>
#include <cstdint>
#include <sys/stat.h>

// What the page-text service and its parser helper (quenby-pagetext) say to
// each other over a socket: a fixed header, then the bytes it announces.
namespace PageTextWire {

constexpr uint32_t kRequestMagic = 0x51505451;  // "QPTQ"
constexpr uint32_t kResponseMagic = 0x51505441; // "QPTA"

enum class Mode : int32_t {
    Page = 0, // the body text of a page file
    DivFragment =
        1, // the file's markup parsed inside a <div>; the text of #target or its first element
    Metadata = 2, // the page's title and <meta> elements, as PageParser::metadata lays them out
};

// The page comes as an open descriptor, passed with the request's first byte
// (SCM_RIGHTS), instead of being opened by its path: the file the service
// holds is the file read. The path still names it in failures.
constexpr uint32_t kCarriesFile = 1;

// At most this many descriptors ride on one message (the kernel takes 253); the
// helper makes room for as many in each read.
constexpr size_t kFilesPerMessage = 64;

struct Request
{
    uint32_t magic = kRequestMagic;
    Mode mode = Mode::Page;
    int32_t wordsWanted = 0; // > 0: only this many words are used, a prefix of a large page may do
    uint32_t pathBytes = 0;  // followed by the path, in the file system's encoding
    uint32_t flags = 0;      // kCarriesFile
};

enum class Status : int32_t {
    Text = 0,   // the payload is the text, UTF-8, CR LF line breaks
    Failed = 1, // the payload is the description of the failure, UTF-8
    Ending = 2, // as Failed, and the helper ends after it: it ran out of memory
};

// The state of the file as the helper read it, so a text read ahead of time is
// only handed out while the file is unchanged.
struct Stamp
{
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t size = -1;
    int64_t modifiedNs = 0;
    int64_t changedNs = 0;

    bool operator==(const Stamp&) const = default;
};

inline Stamp stampOf(const struct stat& st)
{
    Stamp s;
    s.device = uint64_t(st.st_dev);
    s.inode = uint64_t(st.st_ino);
    s.size = int64_t(st.st_size);
    s.modifiedNs = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    s.changedNs = int64_t(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    return s;
}

struct Response
{
    uint32_t magic = kResponseMagic;
    Status status = Status::Failed;
    int32_t code = 0; // errno of a failed file read, else 0
    uint32_t reserved = 0;
    Stamp stamp;
    uint64_t payloadBytes = 0;
};

} // namespace PageTextWire
