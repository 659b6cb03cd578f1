#pragma once

#include "platform/PageText.h"

#include <QString>
#include <memory>

// Page text without a browser. Pages are parsed by helper processes
// (quenby-pagetext, installed beside the program, see HelperProcess), one per
// core, each reused for many pages and sent them several at a time: the HTML parser can stop the
// process it runs in, and that must never be the program. A helper that dies, overruns the time
// limit or runs out of its memory fails that page only and is replaced for the next. Each helper
// may use 1 GiB of address space (no limit in sanitizer builds); a page is read whole, or only
// as far as its first words are certain when only those are wanted, and markup nested deeper
// than 512 elements is flattened, keeping its text.
//
// Works on any thread that owns the object and needs no event loop: the
// helpers are driven by a thread of the service's own.
class HelperPageText : public PageText
{
public:
    // How long one page may take in a helper before the helper is stopped and
    // the page's read fails (Failure::Kind::TooSlow). The run's wait of up to
    // 100000 polls lasts far longer, since readyState() waits up to
    // kPollWaitMs for the page.
    static constexpr int kTimeLimitMs = 5000;
    static constexpr int kPollWaitMs = 2;

    // quenby-pagetext in the folder of the running program.
    static QString defaultHelperPath();

    // kTimeLimitMs, unless QUENBY_PAGE_TIME_LIMIT_MS gives another number of
    // milliseconds: tests lower it to have a page time out without a page
    // that takes seconds.
    static int defaultTimeLimitMs();

    // `helpers` 0: one per core.
    explicit HelperPageText(const QString& helperPath = defaultHelperPath(), int helpers = 0,
                            int timeLimitMs = defaultTimeLimitMs());
    ~HelperPageText() override;
    HelperPageText(const HelperPageText&) = delete;
    HelperPageText& operator=(const HelperPageText&) = delete;

    void navigate(const QString& path) override;
    void navigateOpened(const std::shared_ptr<FileSystem::Source>& source) override;
    std::shared_ptr<FileSystem::Source> openedAhead(const QString& path) override;
    void releaseFiles() override;
    int readyState() override;
    QString bodyText() override;
    void prefetch(const QStringList& paths, int wordsWanted) override;
    void navigateMetadata(const QString& path) override;
    void navigateMetadataOpened(const std::shared_ptr<FileSystem::Source>& source) override;
    PageMetadata metadata() override;
    void prefetchMetadata(const QStringList& paths) override;

    // Like navigate(), for checking the text rules on snippets: the file's
    // markup is parsed as the content of a <div>, and the text is that of the
    // element with id "target", else of the first element.
    void navigateFragment(const QString& path);

    // Helper processes started so far, replacements included.
    int helpersStarted() const;

private:
    class Scheduler;
    std::unique_ptr<Scheduler> m_scheduler;
};
