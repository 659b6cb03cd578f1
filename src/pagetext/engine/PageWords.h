#pragma once

#include <string>
#include <string_view>

// The first words of a page's text as the content namer cuts them: line feeds
// go, every carriage return and every blank ends a word (an empty word is a
// word too), and blanks around the text do not count.
namespace PageWords {

// `text` (UTF-8) shortened to what can matter for a name made of its first
// `words` words: the separators before the first word (two at most), the words
// themselves, each only as long as a name can hold (NameBounds), and after the
// last of them only its separator and the first character that follows, which
// shows that the text goes on.
std::string firstWords(std::string_view text, int words);

// True when `text`, the text of the start of a page, settles its first `words`
// words: they end well before the end of the text, or the last of them is
// already longer than any name, so that text further on cannot change a name
// made from them.
bool settled(std::string_view text, int words);

} // namespace PageWords
