#pragma once

#include <string>
#include <string_view>

// How a browser decides the encoding of a local page, and the decoding to UTF-8.
namespace PageEncoding {

// The canonical name of the encoding a label stands for ("latin1" gives
// "windows-1252"), or empty for an unknown label.
std::string forLabel(std::string_view label);

// The encoding a <meta> in the first 1024 bytes declares, or empty.
std::string prescan(std::string_view bytes);

// True when `bytes` is valid UTF-8 holding at least one multi-byte sequence.
// `truncated`: the bytes were cut from a longer file, so a sequence cut at the
// end does not count against them.
bool looksLikeUtf8(std::string_view bytes, bool truncated);

// The page's encoding: byte-order mark, <meta> prescan, UTF-8, a confident
// detector answer, else windows-1252.
std::string detect(std::string_view bytes, bool truncated);

// The page decoded to UTF-8 (without a byte-order mark); `encoding` receives the name used.
std::string toUtf8(std::string_view bytes, bool truncated, std::string* encoding = nullptr);

} // namespace PageEncoding
