#include "pagetext/engine/PageParser.h"

#include "pagetext/engine/Element.h"

#include <vector>

namespace {

// What a browser does to a title and to attribute values it shows: ASCII white
// space stripped at both ends and each run of it made one blank.
void appendCollapsed(std::string& out, std::string_view text)
{
    bool blank = false;
    const size_t start = out.size();
    for (const char c : text) {
        if (isAsciiSpace(c)) {
            blank = out.size() > start;
            continue;
        }
        if (blank)
            out += ' ';
        blank = false;
        out += c;
    }
}

std::string collapsed(std::string_view text)
{
    std::string out;
    appendCollapsed(out, text);
    return out;
}

// The title element's child text content: its own text nodes, not those of
// any elements inside it.
std::string childText(const GumboNode* node)
{
    std::string text;
    const GumboVector& children = node->v.element.children;
    for (unsigned i = 0; i < children.length; ++i) {
        const GumboNode* child = static_cast<const GumboNode*>(children.data[i]);
        if (isText(child))
            text += child->v.text.text;
    }
    return text;
}

void appendEntry(std::string& out, const char* key, const char* content)
{
    out += asciiLower(collapsed(key));
    out += '\t';
    appendCollapsed(out, content);
    out += '\n';
}

} // namespace

std::string PageParser::metadata(std::string_view html)
{
    GumboOutput* output = parse(html, false);
    std::string title;
    bool haveTitle = false;
    std::string entries;
    // Document order; a template's content is no part of the document.
    std::vector<const GumboNode*> stack{output->document};
    while (!stack.empty()) {
        const GumboNode* node = stack.back();
        stack.pop_back();
        if (node->type == GUMBO_NODE_TEMPLATE)
            continue;
        const GumboVector* children = nullptr;
        if (node->type == GUMBO_NODE_DOCUMENT) {
            children = &node->v.document.children;
        } else if (node->type == GUMBO_NODE_ELEMENT) {
            children = &node->v.element.children;
            if (!haveTitle && isHtml(node, GUMBO_TAG_TITLE)) {
                title = collapsed(childText(node));
                haveTitle = true;
            } else if (isHtml(node, GUMBO_TAG_META)) {
                const char* content = attributeValue(node, "content");
                const char* name = attributeValue(node, "name");
                const char* property = attributeValue(node, "property");
                if (content && name)
                    appendEntry(entries, name, content);
                if (content && property)
                    appendEntry(entries, property, content);
            }
        }
        if (children)
            for (unsigned i = children->length; i-- > 0;)
                stack.push_back(static_cast<const GumboNode*>(children->data[i]));
    }
    return title + '\n' + entries;
}
