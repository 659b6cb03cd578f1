#pragma once

#include <array>
#include <gumbo.h>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The few CSS properties that decide which text a page shows.
enum class StyleProperty { Display, Visibility, WhiteSpace, TextTransform, Float, Position, Count };

// The winning declaration of each property for one element, by the cascade
// (importance, inline or sheet, specificity, order).
struct CascadedStyle
{
    struct Value
    {
        std::string value; // lower case, trimmed; empty when nothing applies
        int important = 0;
        int fromInline = 0;
        int specificity = 0;
        int order = 0;
    };
    std::array<Value, size_t(StyleProperty::Count)> values;

    const std::string& operator[](StyleProperty p) const { return values[size_t(p)].value; }
    void offer(StyleProperty p, std::string value, int important, int fromInline, int specificity,
               int order);
};

// Parses the declarations of a style attribute into `style`.
void applyInlineStyle(std::string_view declarations, CascadedStyle& style);

// The rules of a page's own style elements, limited to simple selectors (type,
// class, id, attribute, descendant and child combinators) and to display,
// visibility and white-space. Rules with other selectors are left out: they
// would need state (hover, ...) or siblings that a static page read cannot judge.
class StyleRules
{
public:
    void addSheet(std::string_view css);
    bool empty() const { return m_rules.empty(); }
    void cascade(const GumboNode* element, CascadedStyle& style) const;

private:
    struct AttributeTest
    {
        std::string name;
        char op =
            0; // 0 exists, '=' equals, '~' word, '|' dash, '^' prefix, '$' suffix, '*' substring
        std::string value;
        bool ignoreCase = false;
    };
    struct Compound
    {
        std::string tag; // empty: any
        std::string id;
        std::vector<std::string> classes;
        std::vector<AttributeTest> attributes;
    };
    struct Selector
    {
        std::vector<Compound> parts;   // left to right
        std::vector<char> combinators; // between parts: ' ' or '>'
        int specificity = 0;
    };
    struct Declaration
    {
        StyleProperty property;
        std::string value;
        bool important;
    };
    struct Rule
    {
        Selector selector;
        std::vector<Declaration>* declarations;
        int order;
    };

    void parseBlock(std::string_view css, int depth);
    void addRule(std::string_view selectors, std::string_view body);
    static bool parseSelector(std::string_view text, Selector& selector);
    static bool matchesCompound(const GumboNode* node, const Compound& compound);
    static bool matches(const GumboNode* node, const Selector& selector, int part);

    std::vector<Rule> m_rules;
    std::vector<std::unique_ptr<std::vector<Declaration>>> m_declarations;
    std::unordered_map<std::string, std::vector<size_t>> m_byId, m_byClass, m_byTag;
    std::vector<size_t> m_universal;
};
