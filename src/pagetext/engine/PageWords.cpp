#include "pagetext/engine/PageWords.h"

#include "pagetext/engine/PageParser.h"
#include "platform/NameBounds.h"

namespace PageWords {

namespace {

// Text this close to the end of a prefix's text may still change with what follows.
constexpr size_t kUnsettledTail = 64;

bool endsWord(char c)
{
    return c == ' ' || c == '\r';
}

bool separator(char c)
{
    return endsWord(c) || c == '\n';
}

// The code point that starts at `text[i]` and its length in bytes; the text
// is valid UTF-8, and a stray byte stands for itself.
char32_t decode(std::string_view text, size_t i, size_t& length)
{
    const auto b = static_cast<unsigned char>(text[i]);
    length = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    if (b < 0x80 || b < 0xC0 || i + length > text.size()) {
        length = 1;
        return b;
    }
    char32_t c = b & (0x7F >> length);
    for (size_t k = 1; k < length; ++k)
        c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    return c;
}

} // namespace

std::string firstWords(std::string_view text, int words)
{
    std::string out;
    size_t i = 0;
    for (size_t lead = 0; i < text.size() && separator(text[i]); ++i, ++lead) {
        if (lead < 2)
            out += text[i];
    }
    NameBounds::WordBudget budget;
    budget.startWord(true);
    int word = 1;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '\n') {
            out += c;
            ++i;
            continue;
        }
        if (endsWord(c)) {
            if (word >= words) {
                // Blanks at the end are trimmed before words are counted: what
                // follows must still show that the text goes on.
                out += c;
                while (i < text.size() && separator(text[i]))
                    ++i;
                if (i < text.size()) {
                    size_t length = 1;
                    decode(text, i, length);
                    out.append(text.substr(i, length));
                }
                break;
            }
            ++word;
            budget.startWord(false);
            out += c;
            ++i;
            continue;
        }
        size_t length = 1;
        const char32_t point = decode(text, i, length);
        if (budget.keep(point))
            out.append(text.substr(i, length));
        i += length;
    }
    return out;
}

bool settled(std::string_view text, int words)
{
    if (words <= 0)
        return false;
    if (wordsWellBeforeEnd(text, words))
        return true;
    size_t i = 0;
    while (i < text.size() && separator(text[i]))
        ++i;
    NameBounds::WordBudget budget;
    budget.startWord(true);
    int word = 1;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '\n') {
            ++i;
            continue;
        }
        if (endsWord(c)) {
            if (word >= words)
                return false; // ended, but not well before the end
            ++word;
            budget.startWord(false);
            ++i;
            continue;
        }
        size_t length = 1;
        const char32_t point = decode(text, i, length);
        budget.keep(point);
        i += length;
        if (word == words && budget.over())
            return i + kUnsettledTail <= text.size();
    }
    return false;
}

} // namespace PageWords
