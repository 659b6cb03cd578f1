// Reads pages with the fast page-text reading and with the parser, in one
// process, and compares them: for bench/fastpath-check.
//
//   quenby-fastpath-check [--words N] [--show N] [--fast-only 1] < LIST
//
// LIST holds one path a line. Each page is decoded as the helper decodes it,
// then read by both. With N words wanted (the rename run's case) the fast text
// must be the start of the parser's whole text, hold those words well before
// its end (or be the whole text) and give the same first words as the parser
// reading for N words; without, it must be the parser's text, byte for byte.
// Prints one line of figures, the reasons for declining, and the pages that
// differ (there must be none). --fast-only 1 times the fast reading alone, for
// profiles.

#include "pagetext/engine/FastText.h"
#include "pagetext/engine/PageEncoding.h"
#include "pagetext/engine/PageParser.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {

// The helper reads at most this much of a page.
constexpr size_t kMaxPageBytes = size_t(8) << 20;

double cpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// The first `n` words as the content namer takes them: LF dropped, CR a blank,
// split at every blank.
std::vector<std::string> firstWords(std::string text, int n)
{
    text.erase(std::remove(text.begin(), text.end(), '\n'), text.end());
    std::replace(text.begin(), text.end(), '\r', ' ');
    const size_t start = text.find_first_not_of(' ');
    if (start == std::string::npos)
        return {};
    text = text.substr(start, text.find_last_not_of(' ') + 1 - start);
    std::vector<std::string> words;
    size_t pos = 0;
    while (int(words.size()) < n) {
        const size_t blank = text.find(' ', pos);
        words.push_back(text.substr(pos, blank == std::string::npos ? std::string::npos : blank - pos));
        if (blank == std::string::npos)
            break;
        pos = blank + 1;
    }
    return words;
}

// The start of the markup at `at`, to tell the reasons for declining apart.
std::string what(std::string_view html, size_t at)
{
    if (at >= html.size() || html[at] != '<')
        return {};
    size_t end = at + 1;
    while (end < html.size() && end < at + 16 && !std::strchr(" \t\n\r\f/>", html[end]))
        ++end;
    return ": " + std::string(html.substr(at, end - at));
}

std::string withoutCr(std::string text)
{
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

} // namespace

int main(int argc, char** argv)
{
    int words = 0;
    int show = 10;
    bool fastOnly = false;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--words") == 0)
            words = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--show") == 0)
            show = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--fast-only") == 0)
            fastOnly = std::atoi(argv[i + 1]) != 0;
    }
    PageParser parser;
    std::map<std::string, int> reasons;
    std::vector<std::string> differing;
    int pages = 0, taken = 0, skipped = 0;
    double fastTaken = 0, fastDeclined = 0, library = 0;
    std::string path;
    while (std::getline(std::cin, path)) {
        std::ifstream in(path, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const bool truncated = bytes.size() > kMaxPageBytes;
        if (truncated)
            bytes.resize(kMaxPageBytes);
        // As the helper decodes a page.
        std::string decoded;
        std::string_view html = bytes;
        if (PageEncoding::detect(html, truncated) == "UTF-8") {
            if (html.substr(0, 3) == "\xEF\xBB\xBF")
                html.remove_prefix(3);
        } else {
            decoded = PageEncoding::toUtf8(bytes, truncated);
            html = decoded;
        }
        // The parser library stops the process on some CDATA sections; the
        // helper contains that, this program cannot.
        if (html.find("<![CDATA[") != std::string_view::npos) {
            ++skipped;
            continue;
        }
        ++pages;

        double t = cpuSeconds();
        const FastText::Result fast = FastText::read(html, words);
        const double fastTime = cpuSeconds() - t;
        if (fastOnly) {
            (fast.taken ? fastTaken : fastDeclined) += fastTime;
            taken += fast.taken;
            if (!fast.taken)
                ++reasons[std::string(fast.declined) + what(html, fast.declinedAt)];
            continue;
        }

        t = cpuSeconds();
        std::string whole, some;
        bool failed = false;
        try {
            whole = parser.bodyText(html, 0, true);
        } catch (const PageError&) {
            failed = true;
        }
        library += cpuSeconds() - t;

        if (!fast.taken) {
            fastDeclined += fastTime;
            ++reasons[std::string(fast.declined) + what(html, fast.declinedAt)];
            continue;
        }
        fastTaken += fastTime;
        ++taken;
        bool same = !failed;
        if (same && words <= 0) {
            same = fast.text == whole;
        } else if (same) {
            try {
                some = parser.bodyText(html, words, true);
            } catch (const PageError&) {
                same = false;
            }
            same = same && whole.compare(0, fast.text.size(), fast.text) == 0 &&
                   (fast.text == whole || wordsWellBeforeEnd(withoutCr(fast.text), words)) &&
                   firstWords(fast.text, words) == firstWords(some, words);
        }
        if (!same) {
            differing.push_back(path);
            if (int(differing.size()) <= show && std::getenv("QUENBY_FASTPATH_SHOW"))
                std::printf("fast:\n%s\nparser:\n%s\n", fast.text.c_str(), whole.c_str());
        }
    }

    const double share = pages ? 100.0 * taken / pages : 0;
    std::printf("pages %d taken %d share %.1f%% differing %zu skipped %d "
                "fast-cpu-s %.3f (taken %.3f, declined %.3f) library-cpu-s %.3f "
                "fast-us-per-taken-page %.1f library-us-per-page %.1f\n",
                pages, taken, share, differing.size(), skipped, fastTaken + fastDeclined,
                fastTaken, fastDeclined, library, taken ? 1e6 * fastTaken / taken : 0.0,
                pages ? 1e6 * library / pages : 0.0);
    std::vector<std::pair<int, std::string>> byCount;
    for (const auto& [reason, count] : reasons)
        byCount.emplace_back(count, reason);
    std::sort(byCount.rbegin(), byCount.rend());
    for (const auto& [count, reason] : byCount)
        std::printf("  declined %6d  %s\n", count, reason.c_str());
    for (size_t i = 0; i < differing.size() && int(i) < show; ++i)
        std::printf("  DIFFERS  %s\n", differing[i].c_str());
    return differing.empty() ? 0 : 1;
}
