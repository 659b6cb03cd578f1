#pragma once

#include <string>
#include <string_view>

// The parser's time grows with the square of the nesting depth, so the markup
// is flattened beyond a depth that real pages do not reach: start tags that
// would open deeper elements are left out, with their end tags, and their
// text stays where it is (browsers cap the tree depth in a similar way).
// The depth is estimated from the tags alone: elements whose end tag may be
// left out, void elements and raw-text content are not counted.
namespace NestingGuard {

constexpr int kMaxDepth = 512;

// The markup with over-deep tags left out; `changed` tells whether any were.
std::string flatten(std::string_view html, bool& changed, int maxDepth = kMaxDepth);

} // namespace NestingGuard
