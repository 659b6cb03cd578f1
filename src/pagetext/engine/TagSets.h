#pragma once

#include <gumbo.h>
#include <string_view>

// The sets of HTML elements the engine treats alike, kept in one place so that
// the scanners before the parser and the text collector after it agree.
namespace TagSets {

// The parser's constant for a tag name as written (any letter case).
GumboTag tagOf(std::string_view name);

// Elements with no content and no end tag (br, img, meta...).
bool isVoid(GumboTag tag);

// Elements whose end tag may be left out, or that the parser closes by itself
// (p, li, td, html, body...).
bool endTagOptional(GumboTag tag);

// Elements whose content up to their end tag is text, not markup.
bool isRawText(GumboTag tag);

// Elements whose content a browser replaces by a picture, a control or a
// frame: they add nothing to the text.
bool isReplaced(GumboTag tag);

// SVG elements whose content is never drawn where it stands (lower-case name).
bool isSvgNonRendering(std::string_view name);

// Void elements that may stand in a head without ending it (lower-case name).
bool isHeadVoid(std::string_view name);

} // namespace TagSets
