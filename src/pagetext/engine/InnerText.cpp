#include "pagetext/engine/InnerText.h"

#include "pagetext/engine/Element.h"
#include "pagetext/engine/TagSets.h"

#include <QString>
#include <algorithm>

namespace {

using Display = InnerText::Display;
using WhiteSpace = InnerText::WhiteSpace;
using Transform = InnerText::Transform;

// Deeper nodes are left out rather than risk the stack; the nesting guard
// before parsing keeps real pages far below this.
constexpr int kMaxDepth = 1500;

using TagSets::isReplaced;
using TagSets::isSvgNonRendering;

// The step numbers below are those of the HTML standard's innerText getter
// ("getter step N") and of its rendered text collection steps ("step N").

bool hasAttribute(const GumboNode* node, const char* name)
{
    return attributeValue(node, name) != nullptr;
}

// The display of the default stylesheet.
Display defaultDisplay(const GumboNode* node)
{
    const GumboElement& e = node->v.element;
    if (e.tag_namespace != GUMBO_NAMESPACE_HTML)
        return Display::Inline;
    if (hasAttribute(node, "hidden"))
        return Display::None;
    switch (e.tag) {
    case GUMBO_TAG_AREA:
    case GUMBO_TAG_BASE:
    case GUMBO_TAG_BASEFONT:
    case GUMBO_TAG_DATALIST:
    case GUMBO_TAG_HEAD:
    case GUMBO_TAG_LINK:
    case GUMBO_TAG_META:
    case GUMBO_TAG_NOEMBED:
    case GUMBO_TAG_NOFRAMES:
    case GUMBO_TAG_PARAM:
    case GUMBO_TAG_RP:
    case GUMBO_TAG_SCRIPT:
    case GUMBO_TAG_STYLE:
    case GUMBO_TAG_TITLE:
    case GUMBO_TAG_SOURCE:
    case GUMBO_TAG_TRACK:
        return Display::None;
    case GUMBO_TAG_INPUT: {
        const char* type = attributeValue(node, "type");
        return type && asciiLower(type) == "hidden" ? Display::None : Display::InlineBlock;
    }
    case GUMBO_TAG_AUDIO:
        return hasAttribute(node, "controls") ? Display::InlineBlock : Display::None;
    case GUMBO_TAG_HTML:
    case GUMBO_TAG_BODY:
    case GUMBO_TAG_ADDRESS:
    case GUMBO_TAG_BLOCKQUOTE:
    case GUMBO_TAG_CENTER:
    case GUMBO_TAG_DIV:
    case GUMBO_TAG_FIGURE:
    case GUMBO_TAG_FIGCAPTION:
    case GUMBO_TAG_FOOTER:
    case GUMBO_TAG_FORM:
    case GUMBO_TAG_HEADER:
    case GUMBO_TAG_HR:
    case GUMBO_TAG_LEGEND:
    case GUMBO_TAG_LISTING:
    case GUMBO_TAG_MAIN:
    case GUMBO_TAG_P:
    case GUMBO_TAG_PLAINTEXT:
    case GUMBO_TAG_PRE:
    case GUMBO_TAG_XMP:
    case GUMBO_TAG_ARTICLE:
    case GUMBO_TAG_ASIDE:
    case GUMBO_TAG_H1:
    case GUMBO_TAG_H2:
    case GUMBO_TAG_H3:
    case GUMBO_TAG_H4:
    case GUMBO_TAG_H5:
    case GUMBO_TAG_H6:
    case GUMBO_TAG_HGROUP:
    case GUMBO_TAG_NAV:
    case GUMBO_TAG_SECTION:
    case GUMBO_TAG_DIR:
    case GUMBO_TAG_DD:
    case GUMBO_TAG_DL:
    case GUMBO_TAG_DT:
    case GUMBO_TAG_MENU:
    case GUMBO_TAG_OL:
    case GUMBO_TAG_UL:
    case GUMBO_TAG_FIELDSET:
    case GUMBO_TAG_DETAILS:
    case GUMBO_TAG_SUMMARY:
    case GUMBO_TAG_OPTGROUP:
    case GUMBO_TAG_OPTION:
    case GUMBO_TAG_MULTICOL:
        return Display::Block;
    case GUMBO_TAG_LI:
        return Display::ListItem;
    case GUMBO_TAG_TABLE:
        return Display::Table;
    case GUMBO_TAG_CAPTION:
        return Display::TableCaption;
    case GUMBO_TAG_THEAD:
    case GUMBO_TAG_TBODY:
    case GUMBO_TAG_TFOOT:
        return Display::TableRowGroup;
    case GUMBO_TAG_TR:
        return Display::TableRow;
    case GUMBO_TAG_TD:
    case GUMBO_TAG_TH:
        return Display::TableCell;
    case GUMBO_TAG_COL:
    case GUMBO_TAG_COLGROUP:
        return Display::TableColumn;
    case GUMBO_TAG_BUTTON:
    case GUMBO_TAG_SELECT:
    case GUMBO_TAG_MARQUEE:
    case GUMBO_TAG_METER:
    case GUMBO_TAG_PROGRESS:
    case GUMBO_TAG_TEXTAREA:
    case GUMBO_TAG_IMG:
    case GUMBO_TAG_IFRAME:
    case GUMBO_TAG_VIDEO:
    case GUMBO_TAG_CANVAS:
    case GUMBO_TAG_OBJECT:
    case GUMBO_TAG_EMBED:
        return Display::InlineBlock;
    case GUMBO_TAG_UNKNOWN: {
        const std::string name = elementName(node);
        if (name == "dialog")
            return hasAttribute(node, "open") ? Display::Block : Display::None;
        return name == "search" ? Display::Block : Display::Inline;
    }
    default:
        return Display::Inline;
    }
}

bool parseDisplay(const std::string& v, Display& d)
{
    static const std::pair<const char*, Display> values[] = {
        {"none", Display::None},
        {"contents", Display::Contents},
        {"inline", Display::Inline},
        {"block", Display::Block},
        {"flow-root", Display::Block},
        {"block flow", Display::Block},
        {"block flow-root", Display::Block},
        {"run-in", Display::Inline},
        {"list-item", Display::ListItem},
        {"block list-item", Display::ListItem},
        {"inline-block", Display::InlineBlock},
        {"inline flow-root", Display::InlineBlock},
        {"table", Display::Table},
        {"block table", Display::Table},
        {"inline-table", Display::InlineBlock},
        {"inline table", Display::InlineBlock},
        {"table-row-group", Display::TableRowGroup},
        {"table-header-group", Display::TableRowGroup},
        {"table-footer-group", Display::TableRowGroup},
        {"table-row", Display::TableRow},
        {"table-cell", Display::TableCell},
        {"table-caption", Display::TableCaption},
        {"table-column", Display::TableColumn},
        {"table-column-group", Display::TableColumn},
        {"flex", Display::FlexOrGrid},
        {"grid", Display::FlexOrGrid},
        {"block flex", Display::FlexOrGrid},
        {"block grid", Display::FlexOrGrid},
        {"-webkit-box", Display::FlexOrGrid},
        {"-webkit-flex", Display::FlexOrGrid},
        {"-ms-flexbox", Display::FlexOrGrid},
        {"inline-flex", Display::InlineFlexOrGrid},
        {"inline-grid", Display::InlineFlexOrGrid},
        {"inline flex", Display::InlineFlexOrGrid},
        {"inline grid", Display::InlineFlexOrGrid},
        {"-webkit-inline-box", Display::InlineFlexOrGrid},
        {"ruby", Display::Inline},
        {"ruby-base", Display::Inline},
        {"ruby-text", Display::Inline},
        {"ruby-base-container", Display::Inline},
        {"ruby-text-container", Display::Inline},
    };
    for (const auto& [name, value] : values)
        if (v == name) {
            d = value;
            return true;
        }
    return false;
}

// Floats, absolutely positioned boxes and flex or grid items become blocks.
Display blockified(Display d)
{
    switch (d) {
    case Display::Inline:
    case Display::InlineBlock:
    case Display::TableRowGroup:
    case Display::TableRow:
    case Display::TableCell:
    case Display::TableCaption:
    case Display::TableColumn:
        return Display::Block;
    case Display::InlineFlexOrGrid:
        return Display::FlexOrGrid;
    default:
        return d;
    }
}

QString transformed(QString text, Transform transform, bool turkic)
{
    switch (transform) {
    case Transform::Upper:
        if (turkic)
            text.replace(QChar(u'i'), QChar(0x130));
        return text.toUpper();
    case Transform::Lower:
        if (turkic) {
            text.replace(QChar(u'I'), QChar(0x131));
            text.replace(QChar(0x130), QChar(u'i'));
        }
        return text.toLower();
    case Transform::Capitalize: {
        QString out;
        bool wordStart = true;
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar c = text.at(i);
            if (wordStart && c.isLetterOrNumber()) {
                out += (turkic && c == u'i') ? QString(QChar(0x130)) : QString(c).toUpper();
                wordStart = false;
            } else {
                out += c;
                if (c.isSpace())
                    wordStart = true;
            }
        }
        return out;
    }
    case Transform::None:
        break;
    }
    return text;
}

void appendTextContent(const GumboNode* node, std::string& out, int depth)
{
    if (depth > kMaxDepth)
        return;
    if (isText(node)) {
        out += node->v.text.text;
        return;
    }
    if (node->type != GUMBO_NODE_ELEMENT)
        return; // comments, and template contents that are not children in a browser
    const GumboVector& children = node->v.element.children;
    for (unsigned i = 0; i < children.length; ++i)
        appendTextContent(static_cast<const GumboNode*>(children.data[i]), out, depth + 1);
}

} // namespace

StyleRules InnerText::pageStyleRules(const GumboNode* root)
{
    StyleRules rules;
    std::vector<const GumboNode*> stack{root};
    while (!stack.empty()) {
        const GumboNode* node = stack.back();
        stack.pop_back();
        if (node->type == GUMBO_NODE_DOCUMENT) {
            const GumboVector& children = node->v.document.children;
            for (unsigned i = children.length; i-- > 0;)
                stack.push_back(static_cast<const GumboNode*>(children.data[i]));
            continue;
        }
        if (node->type != GUMBO_NODE_ELEMENT || isHtml(node, GUMBO_TAG_NOSCRIPT))
            continue;
        const GumboElement& e = node->v.element;
        if (e.tag == GUMBO_TAG_STYLE) {
            const char* media = attributeValue(node, "media");
            const char* type = attributeValue(node, "type");
            const std::string m = media ? asciiLower(trimmed(media)) : std::string();
            const std::string t = type ? asciiLower(trimmed(type)) : std::string();
            if ((m.empty() || m == "all" || m == "screen") && (t.empty() || t == "text/css")) {
                std::string css;
                appendTextContent(node, css, 0);
                rules.addSheet(css);
            }
            continue;
        }
        for (unsigned i = e.children.length; i-- > 0;)
            stack.push_back(static_cast<const GumboNode*>(e.children.data[i]));
    }
    return rules;
}

InnerText::Style InnerText::computeStyle(const GumboNode* element, const Style& parent) const
{
    Style s;
    s.visible = parent.visible;
    s.whiteSpace = parent.whiteSpace;
    s.transform = parent.transform;
    s.turkic = parent.turkic;
    if (const char* lang = attributeValue(element, "lang")) {
        const std::string l = asciiLower(trimmed(lang));
        s.turkic = l == "tr" || l == "az" || l.rfind("tr-", 0) == 0 || l.rfind("az-", 0) == 0;
    }
    s.display = defaultDisplay(element);
    const GumboElement& e = element->v.element;
    if (e.tag_namespace == GUMBO_NAMESPACE_HTML) {
        switch (e.tag) {
        case GUMBO_TAG_PRE:
        case GUMBO_TAG_LISTING:
        case GUMBO_TAG_XMP:
        case GUMBO_TAG_PLAINTEXT:
        case GUMBO_TAG_TEXTAREA:
            s.whiteSpace = WhiteSpace::Pre;
            break;
        case GUMBO_TAG_NOBR:
            s.whiteSpace = WhiteSpace::Nowrap;
            break;
        default:
            break;
        }
    }

    CascadedStyle cascaded;
    m_rules.cascade(element, cascaded);
    if (const char* inlineStyle = attributeValue(element, "style"))
        applyInlineStyle(inlineStyle, cascaded);

    const std::string& display = cascaded[StyleProperty::Display];
    if (display == "inherit")
        s.display = parent.display;
    else if (display == "initial" || display == "unset")
        s.display = Display::Inline;
    else if (!display.empty())
        parseDisplay(display, s.display);

    const std::string& visibility = cascaded[StyleProperty::Visibility];
    if (visibility == "visible" || visibility == "initial")
        s.visible = true;
    else if (visibility == "hidden" || visibility == "collapse")
        s.visible = false;

    static const std::pair<const char*, WhiteSpace> spaces[] = {
        {"normal", WhiteSpace::Normal},
        {"initial", WhiteSpace::Normal},
        {"nowrap", WhiteSpace::Nowrap},
        {"pre", WhiteSpace::Pre},
        {"pre-wrap", WhiteSpace::PreWrap},
        {"pre-line", WhiteSpace::PreLine},
        {"break-spaces", WhiteSpace::BreakSpaces},
    };
    for (const auto& [name, value] : spaces)
        if (cascaded[StyleProperty::WhiteSpace] == name)
            s.whiteSpace = value;

    static const std::pair<const char*, Transform> transforms[] = {
        {"none", Transform::None},
        {"initial", Transform::None},
        {"uppercase", Transform::Upper},
        {"lowercase", Transform::Lower},
        {"capitalize", Transform::Capitalize},
    };
    for (const auto& [name, value] : transforms)
        if (cascaded[StyleProperty::TextTransform] == name)
            s.transform = value;

    const std::string& floating = cascaded[StyleProperty::Float];
    const std::string& position = cascaded[StyleProperty::Position];
    const bool outOfFlow = floating == "left" || floating == "right" ||
                           floating == "inline-start" || floating == "inline-end" ||
                           position == "absolute" || position == "fixed";
    if (s.display != Display::None && s.display != Display::Contents &&
        (outOfFlow || parent.blockifyChildren))
        s.display = blockified(s.display);
    s.outOfFlow = outOfFlow && s.display != Display::None && s.display != Display::Contents;
    s.blockifyChildren = s.display == Display::FlexOrGrid || s.display == Display::InlineFlexOrGrid;
    return s;
}

bool InnerText::isLastCell(const GumboNode* cell) const
{
    const GumboNode* parent = cell->parent;
    if (!parent || !isElement(parent))
        return true;
    const GumboVector& siblings = parent->v.element.children;
    for (unsigned i = cell->index_within_parent + 1; i < siblings.length; ++i) {
        const GumboNode* n = static_cast<const GumboNode*>(siblings.data[i]);
        if (isHtml(n, GUMBO_TAG_TD) || isHtml(n, GUMBO_TAG_TH))
            return false;
    }
    return true;
}

bool InnerText::isLastRow(const GumboNode* row)
{
    const GumboNode* table = row->parent;
    while (table && !isHtml(table, GUMBO_TAG_TABLE))
        table = (table->type == GUMBO_NODE_ELEMENT) ? table->parent : nullptr;
    if (!table)
        return true;
    auto found = m_lastRows.find(table);
    if (found == m_lastRows.end()) {
        const GumboNode* last = nullptr;
        const GumboVector& children = table->v.element.children;
        for (unsigned i = children.length; i-- > 0 && !last;) {
            const GumboNode* n = static_cast<const GumboNode*>(children.data[i]);
            if (isHtml(n, GUMBO_TAG_TR)) {
                last = n;
            } else if (isHtml(n, GUMBO_TAG_TBODY) || isHtml(n, GUMBO_TAG_THEAD) ||
                       isHtml(n, GUMBO_TAG_TFOOT)) {
                const GumboVector& rows = n->v.element.children;
                for (unsigned j = rows.length; j-- > 0 && !last;)
                    if (isHtml(static_cast<const GumboNode*>(rows.data[j]), GUMBO_TAG_TR))
                        last = static_cast<const GumboNode*>(rows.data[j]);
            }
        }
        found = m_lastRows.emplace(table, last).first;
    }
    return found->second == row || !found->second;
}

void InnerText::walkText(const GumboNode* node, const Style& parent, Svg svg)
{
    if (svg == Svg::Graphics)
        return;
    const std::string_view text(node->v.text.text);
    const GumboNode* element = node->parent;
    if (element && isElement(element) && element->v.element.tag_namespace == GUMBO_NAMESPACE_HTML) {
        const GumboTag tag = element->v.element.tag;
        // Step 3: an option group shows its label, not its text; a select only
        // its options.
        if (tag == GUMBO_TAG_OPTGROUP || tag == GUMBO_TAG_SELECT)
            return;
    }
    const bool blank = trimmed(text).empty();
    // White space between table parts makes no box.
    if (blank && (parent.display == Display::Table || parent.display == Display::TableRowGroup ||
                  parent.display == Display::TableRow || parent.display == Display::TableColumn))
        return;
    // Step 2: text that is not visible adds nothing, but still takes its place
    // on the line.
    if (!parent.visible) {
        if (!blank)
            m_out.atomic();
        return;
    }
    // Step 4: the text after text-transform and the white-space rules (the
    // collector collapses the spaces).
    if (parent.transform != Transform::None) {
        const QByteArray utf8 = transformed(QString::fromUtf8(text.data(), qsizetype(text.size())),
                                            parent.transform, parent.turkic)
                                    .toUtf8();
        m_out.text(std::string_view(utf8.constData(), size_t(utf8.size())), parent.whiteSpace);
        return;
    }
    m_out.text(text, parent.whiteSpace);
}

// Step 1: the items of each child node in tree order, one list.
void InnerText::walkChildren(const GumboNode* element, const Style& style, Svg svg, int depth)
{
    const GumboVector& children = element->v.element.children;
    const bool closedDetails = isHtml(element, GUMBO_TAG_DETAILS) && !hasAttribute(element, "open");
    bool summarySeen = false;
    for (unsigned i = 0; i < children.length; ++i) {
        const GumboNode* child = static_cast<const GumboNode*>(children.data[i]);
        if (closedDetails) {
            // A closed disclosure shows its first summary only.
            if (summarySeen || !isHtml(child, GUMBO_TAG_SUMMARY))
                continue;
            summarySeen = true;
        }
        walk(child, style, svg, depth + 1);
    }
}

void InnerText::walk(const GumboNode* node, const Style& parent, Svg svg, int depth)
{
    if (depth > kMaxDepth)
        return;
    if (isText(node)) {
        walkText(node, parent, svg);
        return;
    }
    if (node->type != GUMBO_NODE_ELEMENT)
        return;
    const GumboElement& e = node->v.element;
    if (e.tag_namespace == GUMBO_NAMESPACE_HTML &&
        (e.tag == GUMBO_TAG_NOSCRIPT || e.tag == GUMBO_TAG_TEMPLATE))
        return; // scripting counts as on; templates are never shown
    const Style s = computeStyle(node, parent);
    // Step 3: a node that is not being rendered adds nothing; below display:
    // none nothing is rendered.
    if (s.display == Display::None)
        return;
    const bool visible = s.visible;

    if (e.tag_namespace == GUMBO_NAMESPACE_SVG) {
        const std::string name = elementName(node);
        if (svg == Svg::Outside) {
            // The drawing is one box on the line; its text elements give lines of their own.
            m_out.atomic();
            m_out.boundary();
            walkChildren(node, s, Svg::Graphics, depth);
            m_out.boundary();
            m_out.atomic();
            return;
        }
        if (isSvgNonRendering(name))
            return;
        if (name == "foreignobject") {
            m_out.boundary();
            walkChildren(node, s, Svg::Outside, depth);
            m_out.boundary();
            return;
        }
        if (name == "text" && svg == Svg::Graphics) {
            if (visible)
                m_out.requiredBreaks(1);
            m_out.boundary();
            walkChildren(node, s, Svg::Text, depth);
            m_out.boundary();
            if (visible)
                m_out.requiredBreaks(1);
            return;
        }
        walkChildren(node, s, svg, depth);
        return;
    }

    // A box taken out of the flow is a block of its own, but the line it
    // stands in goes on around it: a space before it is kept when the line
    // continues after it.
    if (s.outOfFlow) {
        const Collector::Line line = m_out.leaveLine();
        walkBox(node, s, svg, depth);
        m_out.resumeLine(line);
        return;
    }
    walkBox(node, s, svg, depth);
}

// Steps 5 to 9 for one element, around step 1 for its children. Step 2: an
// element that is not visible adds no breaks of its own; its children still
// give theirs.
void InnerText::walkBox(const GumboNode* node, const Style& s, Svg svg, int depth)
{
    const GumboElement& e = node->v.element;
    const bool visible = s.visible;
    const bool blockLevel = isBlockLevel(s.display);
    if (e.tag_namespace == GUMBO_NAMESPACE_HTML) {
        if (isReplaced(e.tag)) {
            if (blockLevel) {
                if (visible)
                    m_out.requiredBreaks(1);
                m_out.boundary();
                if (visible)
                    m_out.requiredBreaks(1);
            } else {
                m_out.atomic();
            }
            return;
        }
        if (e.tag == GUMBO_TAG_BR) { // step 5
            if (visible)
                m_out.forcedBreak();
            else
                m_out.boundary();
            return;
        }
    }

    if (s.display == Display::Contents) {
        walkChildren(node, s, svg, depth);
        return;
    }
    const bool atomicBox = isAtomicInline(s.display);
    const bool cell = s.display == Display::TableCell;
    const bool container = blockLevel || atomicBox || cell;
    const bool paragraph = isHtml(node, GUMBO_TAG_P);
    // Steps 8 and 9 at the beginning (floats and positioned boxes are block-level).
    if (visible && paragraph)
        m_out.requiredBreaks(2);
    if (visible && blockLevel)
        m_out.requiredBreaks(1);
    if (atomicBox)
        m_out.atomic();
    if (container)
        m_out.boundary();
    walkChildren(node, s, svg, depth);
    if (container)
        m_out.boundary();
    if (atomicBox)
        m_out.atomic();
    if (visible && cell && !isLastCell(node)) // step 6
        m_out.literal('\t');
    if (visible && s.display == Display::TableRow && !isLastRow(node)) // step 7
        m_out.literal('\n');
    // Steps 8 and 9 at the end.
    if (visible && paragraph)
        m_out.requiredBreaks(2);
    if (visible && blockLevel)
        m_out.requiredBreaks(1);
}

std::string InnerText::of(const GumboNode* element)
{
    // Styles and rendering of the ancestors decide whether the element shows at all.
    std::vector<const GumboNode*> chain;
    for (const GumboNode* n = element; n && isElement(n); n = n->parent)
        chain.push_back(n);
    std::reverse(chain.begin(), chain.end());
    Style style;
    Svg svg = Svg::Outside;
    bool rendered = true;
    for (size_t i = 0; i < chain.size() && rendered; ++i) {
        const GumboNode* n = chain[i];
        const GumboElement& e = n->v.element;
        style = computeStyle(n, style);
        if (n->type == GUMBO_NODE_TEMPLATE || style.display == Display::None)
            rendered = false;
        if (e.tag_namespace == GUMBO_NAMESPACE_HTML) {
            if (e.tag == GUMBO_TAG_NOSCRIPT || e.tag == GUMBO_TAG_TEMPLATE)
                rendered = false;
            if (i + 1 < chain.size() && isReplaced(e.tag))
                rendered = false;
        } else if (e.tag_namespace == GUMBO_NAMESPACE_SVG) {
            const std::string name = elementName(n);
            if (svg == Svg::Outside)
                svg = Svg::Graphics;
            else if (isSvgNonRendering(name))
                rendered = false;
            if (name == "foreignobject")
                svg = Svg::Outside;
            else if (name == "text")
                svg = Svg::Text;
        }
    }
    // Getter step 1: an element that is not being rendered gives its
    // descendant text content.
    if (!rendered) {
        std::string text;
        appendTextContent(element, text, 0);
        return text;
    }
    if (isElement(element) && element->v.element.tag_namespace == GUMBO_NAMESPACE_HTML &&
        isReplaced(element->v.element.tag))
        return {}; // shown, but its content is not
    // Getter steps 2 and 3: the collection steps of each child, in one list.
    m_out = Collector();
    m_lastRows.clear();
    walkChildren(element, style, svg, 0);
    return m_out.finish();
}

void InnerText::Collector::put(char c)
{
    if (m_items.empty() || m_items.back().breaks || m_items.back().heldSpace)
        m_items.push_back({});
    m_items.back().text += c;
}

// Puts the space due before the next character: the one held back before an
// out-of-flow box if there is one, else a pending one.
void InnerText::Collector::spaceBefore()
{
    if (m_heldSpace >= 0) {
        m_items[size_t(m_heldSpace)].text.assign(1, ' ');
        m_heldSpace = -1;
    } else if (m_pendingSpace) {
        put(' ');
    }
    m_pendingSpace = false;
}

InnerText::Collector::Line InnerText::Collector::leaveLine()
{
    Line line{m_lineStart, m_heldSpace};
    if (m_pendingSpace) {
        m_items.push_back({0, {}, true});
        line.heldSpace = int(m_items.size() - 1);
    }
    m_pendingSpace = false;
    m_heldSpace = -1;
    return line;
}

void InnerText::Collector::resumeLine(const Line& line)
{
    m_pendingSpace = false;
    m_lineStart = line.lineStart;
    m_heldSpace = line.heldSpace;
}

void InnerText::Collector::text(std::string_view text, WhiteSpace whiteSpace)
{
    const bool keepSpaces = whiteSpace == WhiteSpace::Pre || whiteSpace == WhiteSpace::PreWrap ||
                            whiteSpace == WhiteSpace::BreakSpaces;
    const bool keepBreaks = keepSpaces || whiteSpace == WhiteSpace::PreLine;
    for (const char c : text) {
        if (c == '\n' && keepBreaks) {
            forcedBreak();
        } else if ((c == ' ' || c == '\t' || c == '\n' || c == '\r') && !keepSpaces) {
            if (!m_lineStart)
                m_pendingSpace = true;
        } else {
            spaceBefore();
            put(c);
            m_lineStart = false;
        }
    }
}

void InnerText::Collector::atomic()
{
    spaceBefore();
    m_lineStart = false;
}

void InnerText::Collector::boundary()
{
    m_pendingSpace = false;
    m_heldSpace = -1;
    m_lineStart = true;
}

void InnerText::Collector::forcedBreak()
{
    m_pendingSpace = false;
    m_heldSpace = -1;
    put('\n');
    m_lineStart = true;
}

void InnerText::Collector::literal(char c)
{
    m_pendingSpace = false;
    m_heldSpace = -1;
    put(c);
    m_lineStart = true;
}

void InnerText::Collector::requiredBreaks(int count)
{
    m_items.push_back({count, {}});
}

// Getter steps 4 to 7: empty strings are dropped (4), required line break
// counts before the first string and after the last go (5), each run between
// two strings becomes as many line feeds as its largest count (6), and the
// strings are joined (7).
std::string InnerText::Collector::finish()
{
    std::string out;
    bool any = false;
    int breaks = 0;
    for (const Item& item : m_items) {
        if (item.breaks) {
            breaks = std::max(breaks, item.breaks);
        } else if (!item.text.empty()) {
            if (any && breaks)
                out.append(size_t(breaks), '\n');
            out += item.text;
            any = true;
            breaks = 0;
        }
    }
    return out;
}
