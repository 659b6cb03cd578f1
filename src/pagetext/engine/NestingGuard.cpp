#include "pagetext/engine/NestingGuard.h"

#include "pagetext/engine/MarkupScan.h"
#include "pagetext/engine/TagSets.h"

#include <vector>

namespace NestingGuard {

namespace {

using namespace MarkupScan;

enum class Kind {
    Counted,    // nests until its end tag
    NotCounted, // void, or its end tag may be left out
    RawText,    // content up to its end tag is not markup
    Plaintext,  // the rest of the page is text
};

Kind kindOf(std::string_view name)
{
    const GumboTag tag = TagSets::tagOf(name);
    if (tag == GUMBO_TAG_PLAINTEXT)
        return Kind::Plaintext;
    if (TagSets::isRawText(tag))
        return Kind::RawText;
    if (TagSets::isVoid(tag) || TagSets::endTagOptional(tag))
        return Kind::NotCounted;
    return Kind::Counted;
}

} // namespace

std::string flatten(std::string_view html, bool& changed, int maxDepth)
{
    struct Open
    {
        std::string_view name; // as written in the page
        bool dropped;
    };
    std::vector<Open> open;
    int kept = 0;
    std::string out;
    size_t copied = 0; // html[copied..] not yet copied to out
    changed = false;
    auto drop = [&](size_t from, size_t to) {
        if (!changed) {
            out.reserve(html.size());
            changed = true;
        }
        out.append(html.substr(copied, from - copied));
        copied = to;
    };

    size_t pos = 0;
    while (pos < html.size()) {
        const Tag tag = nextTag(html, pos);
        if (tag.begin == npos)
            break;
        const size_t lt = tag.begin, end = tag.end;
        const std::string_view name = tag.name;
        if (tag.kind == Tag::Comment || tag.kind == Tag::Other) {
            pos = end;
            continue;
        }
        const bool endTag = tag.kind == Tag::End;
        if (endTag) {
            // A stray end tag is looked for near the top only, to stay linear.
            const size_t floor = open.size() > 1024 ? open.size() - 1024 : 0;
            for (size_t i = open.size(); i-- > floor;) {
                if (!sameNoCase(open[i].name, name))
                    continue;
                const bool dropped = open[i].dropped;
                for (size_t j = i; j < open.size(); ++j)
                    kept -= !open[j].dropped;
                open.resize(i);
                if (dropped)
                    drop(lt, end);
                break;
            }
            pos = end;
            continue;
        }
        const bool selfClosing = tag.selfClosing;
        const Kind kind = kindOf(name);
        if (kind == Kind::Plaintext)
            break;
        if (kind == Kind::RawText) {
            const size_t at = rawTextEnd(html, end, asciiLower(name));
            pos = at == npos ? html.size() : at;
            continue;
        }
        if (!selfClosing && kind == Kind::Counted) {
            const bool tooDeep = kept >= maxDepth;
            open.push_back({name, tooDeep});
            if (tooDeep)
                drop(lt, end);
            else
                ++kept;
        }
        pos = end;
    }
    if (changed)
        out.append(html.substr(copied));
    return out;
}

} // namespace NestingGuard
