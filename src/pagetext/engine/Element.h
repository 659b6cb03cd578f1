#pragma once

#include "pagetext/engine/MarkupScan.h"

#include <gumbo.h>
#include <string>
#include <string_view>

// Small accessors over the parser's element nodes.

// The element's tag name in lower case, also for tags the parser has no
// constant for (custom elements, most SVG elements).
std::string elementName(const GumboNode* node);

// The value of attribute `name`, or nullptr when it is absent.
const char* attributeValue(const GumboNode* node, const char* name);

inline bool isElement(const GumboNode* node)
{
    return node->type == GUMBO_NODE_ELEMENT || node->type == GUMBO_NODE_TEMPLATE;
}

inline bool isText(const GumboNode* node)
{
    return node->type == GUMBO_NODE_TEXT || node->type == GUMBO_NODE_WHITESPACE ||
           node->type == GUMBO_NODE_CDATA;
}

inline bool isHtml(const GumboNode* node, GumboTag tag)
{
    return isElement(node) && node->v.element.tag == tag &&
           node->v.element.tag_namespace == GUMBO_NAMESPACE_HTML;
}

// The engine's files read markup text with the scanning helpers.
using MarkupScan::asciiLower;
using MarkupScan::isAsciiSpace;
using MarkupScan::trimmed;
