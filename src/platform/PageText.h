#pragma once

#include "platform/SourceFile.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <memory>
#include <utility>

// A page's metadata as a browser reads it.
struct PageMetadata
{
    // document.title: the first title element's own text, white space
    // collapsed; empty when there is none.
    QString title;
    // The name and the property of each <meta> element that has content, the
    // key in lower case, with the content (white space collapsed), in document
    // order.
    QList<std::pair<QString, QString>> entries;

    // The first content given under `key` (lower case); empty when none.
    QString content(QStringView key) const
    {
        for (const auto& [name, value] : entries)
            if (name == key)
                return value;
        return {};
    }
    bool has(QStringView key) const
    {
        for (const auto& entry : entries)
            if (entry.first == key)
                return true;
        return false;
    }

    // From the title's line followed by "key\tcontent" lines.
    static PageMetadata fromLines(const QString& text)
    {
        PageMetadata m;
        const QStringList lines = text.split(u'\n');
        m.title = lines.value(0);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype tab = lines.at(i).indexOf(u'\t');
            if (tab >= 0)
                m.entries.append({lines.at(i).left(tab), lines.at(i).mid(tab + 1)});
        }
        return m;
    }
};

// The visible text of a page's body, as a browser would give it (innerText),
// with line breaks as CR LF. Used like a browser that is navigated to a file and
// polled until it is ready.
class PageText
{
public:
    virtual ~PageText() = default;

    // Starts loading the page at `path`; any earlier page is forgotten.
    virtual void navigate(const QString& path) = 0;

    // As navigate(), for a file the caller holds open: the text is read from
    // that very file, and a text read ahead from another state of it is read
    // again; where it cannot be had from that state, the read fails as a
    // changed source.
    virtual void navigateOpened(const std::shared_ptr<FileSystem::Source>& source)
    {
        navigate(source->path());
    }

    // The run is over: the files held open for it are let go, so that nothing
    // keeps a stick or a share busy. Pages still being read finish unheeded.
    virtual void releaseFiles() {}

    // The file at `path` as the service opened it to read it ahead, for the
    // caller to take instead of opening it again; null when it holds none.
    virtual std::shared_ptr<FileSystem::Source> openedAhead(const QString& path)
    {
        (void)path;
        return {};
    }

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

    // Like navigate(), for the page's metadata instead of its text; readyState()
    // then tells when metadata() can answer. metadata() throws Failure when the
    // read failed, as bodyText() does.
    virtual void navigateMetadata(const QString& path) = 0;
    virtual void navigateMetadataOpened(const std::shared_ptr<FileSystem::Source>& source)
    {
        navigateMetadata(source->path());
    }
    virtual PageMetadata metadata() = 0;
    // Hint, as prefetch(): the metadata of these pages will be asked for next.
    virtual void prefetchMetadata(const QStringList& paths) { (void)paths; }
};
