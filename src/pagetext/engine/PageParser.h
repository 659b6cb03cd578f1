#pragma once

#include <cstddef>
#include <gumbo.h>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// A page read that fails with a description for the user ("The page has no body element.").
class PageError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Parses UTF-8 markup with the HTML5 parser and takes the text from the tree.
// Every parse allocates from one arena that is dropped as a whole afterwards:
// quicker than the parser's many small allocations and frees, and no
// recursive tree teardown on deep pages.
class PageParser
{
public:
    PageParser();
    ~PageParser();
    PageParser(const PageParser&) = delete;
    PageParser& operator=(const PageParser&) = delete;

    // innerText of the page's body, "\n" line breaks. With `wordsWanted` > 0 it
    // may give the text of a prefix of the page, but only when that prefix
    // gives the same first `wordsWanted` words as the whole page would. With
    // `guard`, markup nested too deep is flattened first (NestingGuard).
    std::string bodyText(std::string_view html, int wordsWanted, bool guard = false);

    // The text of `html`, the start of a longer page, when it settles the first
    // `wordsWanted` words (PageWords::settled) whatever the page holds after it,
    // as far as `html` itself can tell: the caller still has to make sure that
    // nothing after it can reach back (restCanReachBack). Tries prefixes from
    // `firstTry` bytes on, doubling, and `html` whole; nothing when none settles.
    std::optional<std::string> prefixText(std::string_view html, int wordsWanted, bool guard,
                                          size_t firstTry);

    // innerText of the element with id "target", else of the first element,
    // of `html` parsed as the content of a <div>.
    std::string fragmentText(std::string_view html);

    // The page's metadata as a browser reads it: document.title (the first
    // title element's own text), then one line for each name and each property
    // of a <meta> element that has content, "key\tcontent", the key in lower
    // case, in document order. Every value has its white space collapsed, so
    // none holds a tab or a line break.
    std::string metadata(std::string_view html);

    // Called when the arena cannot grow; must not return.
    static void (*outOfMemory)();

private:
    GumboOutput* parse(std::string_view html, bool fragment);
    std::string textOf(std::string_view html);
    std::string_view assemble(std::string_view head, std::string_view rest, bool guard);
    static void* allocate(void* self, size_t size);
    static void deallocate(void*, void*) {}
    void reset();

    std::string m_page; // the markup being parsed, kept for its capacity
    std::vector<char*> m_chunks;
    char* m_next = nullptr;
    size_t m_left = 0;
};

// True when the first `words` blank-separated words of `text` (after turning
// each line break into one blank) end well before its end, so text that
// follows cannot change them.
bool wordsWellBeforeEnd(std::string_view text, int words);

// True when markup in `rest`, the part of a page after a prefix, can change
// the text of the prefix: style sheets, and body or html tags whose
// attributes the parser adds to the elements already there. Allocates
// nothing: it runs over the whole rest of a page.
bool restCanReachBack(std::string_view rest);

// `text` with each "\n" turned into "\r\n".
std::string withCrLf(std::string text);
