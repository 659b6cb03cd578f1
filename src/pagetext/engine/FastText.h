#pragma once

#include <string>
#include <string_view>

class PageParser;

// The body text of a page read in one pass over its markup, without a tree,
// for pages whose tags as written are the tree the HTML parser builds: well
// nested, no tables, no foreign content, nothing the parser moves or makes up
// beyond closing a paragraph or a list item. Everything else is declined and
// left to the parser, so that the text is always the parser's text.
namespace FastText {

struct Result
{
    bool taken = false;
    std::string text;          // when taken: as PageParser::bodyText gives it, "\r\n" line breaks
    const char* declined = ""; // when not: what the reading met that it leaves to the parser
    size_t declinedAt = 0;     // and where in the page
};

// The text PageParser::bodyText(html, 0, true) gives, when taken. With
// `wordsWanted` > 0 the reading may stop once the first words are known well
// before the end of what it has; the text is then the start of the whole text.
Result read(std::string_view html, int wordsWanted);

// The fast reading when it is taken, else the parser's, nesting guard on.
std::string bodyText(std::string_view html, int wordsWanted, PageParser& parser);

} // namespace FastText
