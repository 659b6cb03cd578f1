// Reads each page's metadata as the page-text helper does (the same decoding,
// nesting guard and parse) and prints its document title: for
// bench/title-vs-chromium.
//
//   quenby-title-check < LIST
//
// LIST holds one path a line; the output holds one JSON string a line, the
// title, in the same order ("" for a page without one).

#include "pagetext/engine/NestingGuard.h"
#include "pagetext/engine/PageEncoding.h"
#include "pagetext/engine/PageParser.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

namespace {

// The helper reads at most this much of a page.
constexpr size_t kMaxPageBytes = size_t(8) << 20;

std::string jsonString(const std::string& text)
{
    std::string out = "\"";
    for (const unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += char(c);
        }
    }
    return out + '"';
}

} // namespace

int main()
{
    PageParser parser;
    std::string path;
    while (std::getline(std::cin, path)) {
        std::ifstream in(path, std::ios::binary);
        std::string bytes(kMaxPageBytes + 1, '\0');
        in.read(bytes.data(), std::streamsize(bytes.size()));
        bytes.resize(size_t(in.gcount()));
        const bool truncated = bytes.size() > kMaxPageBytes;
        if (truncated)
            bytes.resize(kMaxPageBytes);
        std::string html = PageEncoding::toUtf8(bytes, truncated);
        bool flattened = false;
        std::string flat = NestingGuard::flatten(html, flattened);
        std::string metadata;
        try {
            metadata = parser.metadata(flattened ? flat : html);
        } catch (const std::exception&) {
        }
        std::cout << jsonString(metadata.substr(0, metadata.find('\n'))) << '\n';
    }
    return 0;
}
