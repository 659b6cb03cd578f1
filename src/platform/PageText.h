#pragma once

#include <QString>
#include <QStringList>

// The visible text of a page's body, as a browser would give it (innerText),
// with line breaks as CR LF. Used like a browser that is navigated to a file and
// polled until it is ready.
class PageText
{
public:
    virtual ~PageText() = default;

    // Starts loading the page at `path`; any earlier page is forgotten.
    virtual void navigate(const QString& path) = 0;

    // The ready states, numbered as a browser numbers a document's.
    static constexpr int kLoading = 1;
    static constexpr int kComplete = 4;

    // kComplete once the text is there or the read has failed; lower while
    // loading. May wait a moment for the page, so a poll loop does not spin.
    virtual int readyState() = 0;

    // The body text of the page last navigated to. Throws Failure when the read
    // failed (no body element, unreadable file, the parser died or overran its
    // time or memory limit).
    virtual QString bodyText() = 0;

    // Hint: these pages will be asked for next, in this order; the service may
    // read them ahead of time on spare cores. `wordsWanted` > 0 says only the
    // first so many blank-separated words of each text will be used (so a prefix
    // of a large page may do); 0 means the whole text. A page changed on disk
    // after it was read ahead is read afresh when it is navigated to.
    virtual void prefetch(const QStringList& paths, int wordsWanted) { (void)paths, (void)wordsWanted; }
};
