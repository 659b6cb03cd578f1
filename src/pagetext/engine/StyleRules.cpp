#include "pagetext/engine/StyleRules.h"

#include "pagetext/engine/Element.h"

#include <algorithm>
#include <memory>
#include <tuple>

namespace {

bool propertyByName(std::string_view name, StyleProperty& property)
{
    static const std::pair<std::string_view, StyleProperty> known[] = {
        {"display", StyleProperty::Display},
        {"visibility", StyleProperty::Visibility},
        {"white-space", StyleProperty::WhiteSpace},
        {"text-transform", StyleProperty::TextTransform},
        {"float", StyleProperty::Float},
        {"position", StyleProperty::Position},
    };
    for (const auto& [n, p] : known)
        if (n == name) {
            property = p;
            return true;
        }
    return false;
}

// Splits `text` at `separator`, outside quotes, brackets and parentheses.
std::vector<std::string_view> splitTopLevel(std::string_view text, char separator)
{
    std::vector<std::string_view> parts;
    size_t start = 0;
    int nesting = 0;
    char quote = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quote) {
            if (c == '\\')
                ++i;
            else if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '(' || c == '[') {
            ++nesting;
        } else if ((c == ')' || c == ']') && nesting > 0) {
            --nesting;
        } else if (c == separator && nesting == 0) {
            parts.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    parts.push_back(text.substr(start));
    return parts;
}

// Splits one declaration into property, value and importance.
bool parseDeclaration(std::string_view text, StyleProperty& property, std::string& value,
                      bool& important)
{
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos)
        return false;
    if (!propertyByName(asciiLower(trimmed(text.substr(0, colon))), property))
        return false;
    std::string v = asciiLower(trimmed(text.substr(colon + 1)));
    important = false;
    const size_t bang = v.rfind('!');
    if (bang != std::string::npos) {
        if (trimmed(std::string_view(v).substr(bang + 1)) != "important")
            return false;
        important = true;
        v = std::string(trimmed(std::string_view(v).substr(0, bang)));
    }
    if (v.empty())
        return false;
    value = std::move(v);
    return true;
}

std::string stripComments(std::string_view css)
{
    std::string out;
    out.reserve(css.size());
    for (size_t i = 0; i < css.size(); ++i) {
        if (css[i] == '/' && i + 1 < css.size() && css[i + 1] == '*') {
            const size_t end = css.find("*/", i + 2);
            if (end == std::string_view::npos)
                break;
            i = end + 1;
            out += ' ';
        } else {
            out += css[i];
        }
    }
    return out;
}

// Index of the brace closing the block opened at `open`, or npos.
size_t matchingBrace(std::string_view css, size_t open)
{
    int depth = 0;
    char quote = 0;
    for (size_t i = open; i < css.size(); ++i) {
        const char c = css[i];
        if (quote) {
            if (c == '\\')
                ++i;
            else if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '{') {
            ++depth;
        } else if (c == '}' && --depth == 0) {
            return i;
        }
    }
    return std::string_view::npos;
}

bool isIdentChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || (unsigned char)c >= 0x80;
}

bool hasWord(std::string_view list, std::string_view word)
{
    size_t i = 0;
    while (i < list.size()) {
        while (i < list.size() && isAsciiSpace(list[i]))
            ++i;
        size_t j = i;
        while (j < list.size() && !isAsciiSpace(list[j]))
            ++j;
        if (j > i && list.substr(i, j - i) == word)
            return true;
        i = j;
    }
    return false;
}

} // namespace

void CascadedStyle::offer(StyleProperty p, std::string value, int important, int fromInline,
                          int specificity, int order)
{
    Value& current = values[size_t(p)];
    if (!current.value.empty() &&
        std::tie(important, fromInline, specificity, order) <
            std::tie(current.important, current.fromInline, current.specificity, current.order))
        return;
    current = {std::move(value), important, fromInline, specificity, order};
}

void applyInlineStyle(std::string_view declarations, CascadedStyle& style)
{
    int order = 0;
    for (std::string_view text : splitTopLevel(declarations, ';')) {
        StyleProperty property;
        std::string value;
        bool important;
        if (parseDeclaration(text, property, value, important))
            style.offer(property, std::move(value), important, 1, 0, ++order);
    }
}

void StyleRules::addSheet(std::string_view css)
{
    parseBlock(stripComments(css), 0);
}

void StyleRules::parseBlock(std::string_view css, int depth)
{
    size_t i = 0;
    while (i < css.size()) {
        while (i < css.size() && (isAsciiSpace(css[i]) || css[i] == ';' || css[i] == '}'))
            ++i;
        if (i >= css.size())
            break;
        const size_t open = css.find('{', i);
        const size_t semicolon = css.find(';', i);
        if (css[i] == '@' && semicolon < open) { // @import, @charset, ...
            i = semicolon + 1;
            continue;
        }
        if (open == std::string_view::npos)
            break;
        const size_t close = matchingBrace(css, open);
        const std::string_view prelude = css.substr(i, open - i);
        const std::string_view body =
            css.substr(open + 1, (close == std::string_view::npos ? css.size() : close) - open - 1);
        if (prelude.substr(0, 1) == "@") {
            // Screen media rules apply to a page on screen; print and other
            // conditional groups are left out.
            const std::string at = asciiLower(trimmed(prelude));
            if (depth < 4 && at.rfind("@media", 0) == 0 && at.find("print") == std::string::npos &&
                at.find('(') == std::string::npos &&
                (at.find("screen") != std::string::npos || at.find("all") != std::string::npos))
                parseBlock(body, depth + 1);
        } else {
            addRule(prelude, body);
        }
        if (close == std::string_view::npos)
            break;
        i = close + 1;
    }
}

void StyleRules::addRule(std::string_view selectors, std::string_view body)
{
    auto declarations = std::make_unique<std::vector<Declaration>>();
    for (std::string_view text : splitTopLevel(body, ';')) {
        Declaration d;
        if (parseDeclaration(text, d.property, d.value, d.important) &&
            (d.property == StyleProperty::Display || d.property == StyleProperty::Visibility ||
             d.property == StyleProperty::WhiteSpace))
            declarations->push_back(std::move(d));
    }
    if (declarations->empty())
        return;
    for (std::string_view text : splitTopLevel(selectors, ',')) {
        Rule rule;
        if (!parseSelector(trimmed(text), rule.selector))
            continue;
        rule.declarations = declarations.get();
        rule.order = int(m_rules.size());
        const size_t index = m_rules.size();
        const Compound& key = rule.selector.parts.back();
        if (!key.id.empty())
            m_byId[key.id].push_back(index);
        else if (!key.classes.empty())
            m_byClass[key.classes.front()].push_back(index);
        else if (!key.tag.empty())
            m_byTag[key.tag].push_back(index);
        else
            m_universal.push_back(index);
        m_rules.push_back(std::move(rule));
    }
    m_declarations.push_back(std::move(declarations));
}

bool StyleRules::parseSelector(std::string_view text, Selector& selector)
{
    if (text.empty())
        return false;
    int ids = 0, classes = 0, types = 0;
    size_t i = 0;
    char pending = 0; // combinator seen before the next compound
    while (i < text.size()) {
        if (isAsciiSpace(text[i]) || text[i] == '>') {
            while (i < text.size() && (isAsciiSpace(text[i]) || text[i] == '>')) {
                if (text[i] == '>')
                    pending = '>';
                else if (!pending)
                    pending = ' ';
                ++i;
            }
            continue;
        }
        if (!selector.parts.empty() && !pending)
            return false;
        if (selector.parts.empty() && pending == '>')
            return false;
        if (!selector.parts.empty())
            selector.combinators.push_back(pending);
        pending = 0;
        Compound compound;
        bool any = false;
        while (i < text.size() && !isAsciiSpace(text[i]) && text[i] != '>') {
            const char c = text[i];
            if (c == '*' && !any) {
                ++i;
                any = true;
            } else if (isIdentChar(c) && !any) {
                size_t j = i;
                while (j < text.size() && isIdentChar(text[j]))
                    ++j;
                compound.tag = asciiLower(text.substr(i, j - i));
                ++types;
                i = j;
                any = true;
            } else if ((c == '.' || c == '#') && i + 1 < text.size() && isIdentChar(text[i + 1])) {
                size_t j = i + 1;
                while (j < text.size() && isIdentChar(text[j]))
                    ++j;
                const std::string name(text.substr(i + 1, j - i - 1));
                if (c == '.') {
                    compound.classes.push_back(name);
                    ++classes;
                } else {
                    if (!compound.id.empty() && compound.id != name)
                        return false;
                    compound.id = name;
                    ++ids;
                }
                i = j;
                any = true;
            } else if (c == '[') {
                const size_t close = text.find(']', i);
                if (close == std::string_view::npos)
                    return false;
                std::string_view inner = trimmed(text.substr(i + 1, close - i - 1));
                AttributeTest test;
                size_t k = 0;
                while (k < inner.size() && isIdentChar(inner[k]))
                    ++k;
                test.name = asciiLower(inner.substr(0, k));
                if (test.name.empty())
                    return false;
                std::string_view rest = trimmed(inner.substr(k));
                if (!rest.empty()) {
                    if (rest[0] == '=') {
                        test.op = '=';
                        rest.remove_prefix(1);
                    } else if (rest.size() >= 2 && rest[1] == '=' &&
                               std::string_view("~|^$*").find(rest[0]) != std::string_view::npos) {
                        test.op = rest[0];
                        rest.remove_prefix(2);
                    } else {
                        return false;
                    }
                    rest = trimmed(rest);
                    if (!rest.empty() && (rest[0] == '"' || rest[0] == '\'')) {
                        const size_t end = rest.find(rest[0], 1);
                        if (end == std::string_view::npos)
                            return false;
                        test.value = std::string(rest.substr(1, end - 1));
                        rest = trimmed(rest.substr(end + 1));
                    } else {
                        size_t e = 0;
                        while (e < rest.size() && isIdentChar(rest[e]))
                            ++e;
                        if (e == 0)
                            return false;
                        test.value = std::string(rest.substr(0, e));
                        rest = trimmed(rest.substr(e));
                    }
                    if (rest == "i" || rest == "I")
                        test.ignoreCase = true;
                    else if (!rest.empty())
                        return false;
                }
                compound.attributes.push_back(std::move(test));
                ++classes;
                i = close + 1;
                any = true;
            } else {
                return false; // pseudo-classes, sibling combinators, namespaces, ...
            }
        }
        selector.parts.push_back(std::move(compound));
    }
    if (selector.parts.empty() || pending)
        return false;
    selector.specificity = ids * 10000 + classes * 100 + types;
    return true;
}

bool StyleRules::matchesCompound(const GumboNode* node, const Compound& compound)
{
    if (!isElement(node))
        return false;
    if (!compound.tag.empty() && elementName(node) != compound.tag)
        return false;
    if (!compound.id.empty()) {
        const char* id = attributeValue(node, "id");
        if (!id || compound.id != id)
            return false;
    }
    if (!compound.classes.empty()) {
        const char* classes = attributeValue(node, "class");
        if (!classes)
            return false;
        for (const std::string& c : compound.classes)
            if (!hasWord(classes, c))
                return false;
    }
    for (const AttributeTest& test : compound.attributes) {
        const char* raw = attributeValue(node, test.name.c_str());
        if (!raw)
            return false;
        if (!test.op)
            continue;
        std::string value = test.ignoreCase ? asciiLower(raw) : std::string(raw);
        const std::string wanted = test.ignoreCase ? asciiLower(test.value) : test.value;
        bool ok = false;
        switch (test.op) {
        case '=':
            ok = value == wanted;
            break;
        case '~':
            ok = !wanted.empty() && hasWord(value, wanted);
            break;
        case '|':
            ok = value == wanted || value.rfind(wanted + "-", 0) == 0;
            break;
        case '^':
            ok = !wanted.empty() && value.rfind(wanted, 0) == 0;
            break;
        case '$':
            ok = !wanted.empty() && value.size() >= wanted.size() &&
                 value.compare(value.size() - wanted.size(), wanted.size(), wanted) == 0;
            break;
        case '*':
            ok = !wanted.empty() && value.find(wanted) != std::string::npos;
            break;
        }
        if (!ok)
            return false;
    }
    return true;
}

bool StyleRules::matches(const GumboNode* node, const Selector& selector, int part)
{
    // Right to left, taking the nearest matching ancestor for each part: linear
    // in the depth of the page, where backtracking could take exponential time
    // on deep pages. It may miss a match that only a farther ancestor gives
    // when child and descendant combinators are mixed, which leaves that rule out.
    if (!matchesCompound(node, selector.parts[size_t(part)]))
        return false;
    for (int p = part - 1; p >= 0; --p) {
        const char combinator = selector.combinators[size_t(p)];
        const Compound& compound = selector.parts[size_t(p)];
        node = node->parent;
        if (combinator == '>') {
            if (!node || !isElement(node) || !matchesCompound(node, compound))
                return false;
            continue;
        }
        while (node && isElement(node) && !matchesCompound(node, compound))
            node = node->parent;
        if (!node || !isElement(node))
            return false;
    }
    return true;
}

void StyleRules::cascade(const GumboNode* element, CascadedStyle& style) const
{
    if (m_rules.empty())
        return;
    auto tryRules = [&](const std::vector<size_t>& indices) {
        for (size_t index : indices) {
            const Rule& rule = m_rules[index];
            const int last = int(rule.selector.parts.size()) - 1;
            if (!matches(element, rule.selector, last))
                continue;
            for (const Declaration& d : *rule.declarations)
                style.offer(d.property, d.value, d.important, 0, rule.selector.specificity,
                            rule.order);
        }
    };
    if (const char* id = attributeValue(element, "id"); id && !m_byId.empty()) {
        auto it = m_byId.find(id);
        if (it != m_byId.end())
            tryRules(it->second);
    }
    if (const char* classes = attributeValue(element, "class"); classes && !m_byClass.empty()) {
        std::string_view list(classes);
        std::vector<std::string_view> seen;
        size_t i = 0;
        while (i < list.size()) {
            while (i < list.size() && isAsciiSpace(list[i]))
                ++i;
            size_t j = i;
            while (j < list.size() && !isAsciiSpace(list[j]))
                ++j;
            const std::string_view word = list.substr(i, j - i);
            if (!word.empty() && std::find(seen.begin(), seen.end(), word) == seen.end()) {
                seen.push_back(word);
                auto it = m_byClass.find(std::string(word));
                if (it != m_byClass.end())
                    tryRules(it->second);
            }
            i = j;
        }
    }
    if (!m_byTag.empty()) {
        auto it = m_byTag.find(elementName(element));
        if (it != m_byTag.end())
            tryRules(it->second);
    }
    tryRules(m_universal);
}
