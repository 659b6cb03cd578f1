#pragma once

#include "pagetext/engine/StyleRules.h"

#include <gumbo.h>
#include <string>
#include <unordered_map>

// innerText as a browser computes it (the rendered text collection steps),
// without a layout engine: the default stylesheet, the hidden attribute, the
// page's own simple style rules and inline style for the properties that
// decide which text shows and how its white space collapses. Line breaks come
// out as "\n".
class InnerText
{
public:
    // The rules of every style element of the document that `root` belongs to.
    static StyleRules pageStyleRules(const GumboNode* root);

    explicit InnerText(const StyleRules& rules) : m_rules(rules) {}

    // innerText of `element`; its descendant text when it is not rendered.
    std::string of(const GumboNode* element);

    enum class Display : unsigned char {
        None,
        Contents,
        Inline,
        Block,
        ListItem,
        InlineBlock,
        Table,
        TableRowGroup,
        TableRow,
        TableCell,
        TableCaption,
        TableColumn,
        FlexOrGrid,
        InlineFlexOrGrid,
    };
    enum class WhiteSpace : unsigned char {
        Normal,
        Nowrap,
        Pre,
        PreWrap,
        PreLine,
        BreakSpaces,
    };
    enum class Transform : unsigned char {
        None,
        Upper,
        Lower,
        Capitalize,
    };
    struct Style
    {
        Display display = Display::Block;
        bool visible = true;
        WhiteSpace whiteSpace = WhiteSpace::Normal;
        Transform transform = Transform::None;
        bool turkic = false;
        bool blockifyChildren = false;
        bool outOfFlow = false; // floated or absolutely positioned
    };

    // The style of `element` under a parent of style `parent`, by the default
    // stylesheet, the page's rules and the element's own style attribute.
    Style styleOf(const GumboNode* element, const Style& parent) const
    {
        return computeStyle(element, parent);
    }

    static bool isBlockLevel(Display d)
    {
        return d == Display::Block || d == Display::ListItem || d == Display::Table ||
               d == Display::FlexOrGrid || d == Display::TableCaption;
    }

    static bool isAtomicInline(Display d)
    {
        return d == Display::InlineBlock || d == Display::InlineFlexOrGrid;
    }

private:
    // Where a node stands inside SVG: outside it, in graphics, or in a text element.
    enum class Svg : unsigned char {
        Outside,
        Graphics,
        Text,
    };

    Style computeStyle(const GumboNode* element, const Style& parent) const;
    void walk(const GumboNode* node, const Style& parent, Svg svg, int depth);
    void walkBox(const GumboNode* element, const Style& style, Svg svg, int depth);
    void walkChildren(const GumboNode* element, const Style& style, Svg svg, int depth);
    void walkText(const GumboNode* node, const Style& parent, Svg svg);
    bool isLastCell(const GumboNode* cell) const;
    bool isLastRow(const GumboNode* row);

    // The white-space processing of one run of lines, and the items of the
    // rendered text collection steps.
    class Collector
    {
    public:
        void text(std::string_view text, WhiteSpace whiteSpace);
        void atomic();
        void boundary();
        void forcedBreak();
        void literal(char c);
        void requiredBreaks(int count);
        std::string finish();

        // The state of the line around an out-of-flow box, kept while the box
        // is collected on lines of its own.
        struct Line
        {
            bool lineStart = true;
            int heldSpace = -1;
        };
        Line leaveLine();
        void resumeLine(const Line& line);

    private:
        void put(char c);
        void spaceBefore();
        struct Item
        {
            int breaks = 0;
            std::string text;
            bool heldSpace = false; // " " once the line goes on after the box
        };
        std::vector<Item> m_items;
        bool m_pendingSpace = false;
        bool m_lineStart = true;
        int m_heldSpace = -1; // the item of a space held before an out-of-flow box
    };

    const StyleRules& m_rules;
    Collector m_out;
    std::unordered_map<const GumboNode*, const GumboNode*> m_lastRows;
};
