#pragma once

#include <optional>
#include <string>
#include <string_view>

// Most of a small page's markup is often its head (meta, link, script), which
// shows no text. When the head holds nothing but such elements, the page can
// be parsed without them: the doctype, the html tag and the style elements are
// kept, then everything from the body tag on. The parser reaches the body tag
// in the same state either way, so the body comes out the same. Heads with
// anything else (text, body content, noscript, template, odd comments or
// scripts) are left alone: std::nullopt.
//
// The page is not copied: the condensed page is `kept` followed by the page
// from `bodyAt` on.
struct HeadCut
{
    std::string kept;
    size_t bodyAt = 0;
};
std::optional<HeadCut> headCut(std::string_view html);
