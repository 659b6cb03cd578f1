#pragma once

#include <string_view>

// What each fuzz target does with one input. Built in every configuration: the
// fuzz programs call these, and the test suite replays through them every input
// that once made them fail. A body aborts when a result breaks a promise its
// code makes, so the fuzzer reports it like a crash.
namespace FuzzBodies {

// Encoding detection and decoding; the first byte says whether the bytes were cut.
void encoding(std::string_view input);

// Bytes to innerText as the helper program does it, with or without the nesting
// guard; the first byte picks the mode and the number of words wanted.
void pageText(std::string_view input, bool guarded);

// The fast page-text reading against the parser on the same page: where the
// fast reading does not decline, its text is the parser's (with words wanted,
// the start of it holding those words). The first byte picks the number of
// words wanted, whether the bytes were cut, and whether the input is the body
// of a plain page or the whole page.
void fastText(std::string_view input);

// Style sheet parsing and matching: a sheet, then after a NUL byte a page whose
// elements it is matched against (a fixed page when there is none).
void styleRules(std::string_view input);

// The name clean-ups and the path normalisation on the input as text.
void names(std::string_view input);

// The metadata namer's search for each field in the input as a file's lines.
void metadata(std::string_view input);

} // namespace FuzzBodies
