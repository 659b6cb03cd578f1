#include "rename/RenameRun.h"

#include "platform/Boxes.h"
#include "platform/EventPump.h"
#include "platform/Failure.h"
#include "platform/FileSystem.h"
#include "platform/PageText.h"
#include "platform/Pointer.h"
#include "platform/ProgressBar.h"
#include "platform/Trap.h"
#include "rename/FileEntries.h"
#include "rename/PathRoutines.h"
#include "rename/RenameOptions.h"
#include "rename/RunJournal.h"
#include "rename/TextRules.h"

#include <climits>

namespace {

// The browser-style wait: at most this many polls of the page's ready state.
constexpr int kMaxPolls = 100000;

// Clears the busy flag however the run ends.
struct BusyGuard
{
    bool& flag;
    explicit BusyGuard(bool& f) : flag(f) { flag = true; }
    ~BusyGuard() { flag = false; }
};

} // namespace

RenameRun::RenameRun(const FileEntries& files, const RenameOptions& options, Surface surface)
    : m_files(files), m_options(options), m_surface(surface),
      m_journalFolder(RunJournal::defaultFolder()), m_program(QStringLiteral("quenby"))
{
}

void RenameRun::setJournal(const QString& folder, const QString& program)
{
    m_journalFolder = folder;
    m_program = program;
}

void RenameRun::record(RunRecorder& recorder, const NameResult& result)
{
    if (recorder.failed())
        return;
    try {
        recorder.record(result.target, CopyIdentity::fromStamp(result.written));
        m_journalId = recorder.id();
    } catch (const Failure& failure) {
        m_journalFailure = failure;
    }
}

RenameRun::Outcome RenameRun::start()
{
    if (m_busy)
        return Outcome::AlreadyRunning;
    BusyGuard guard(m_busy);

    Trap trap(m_surface.reporter, QLatin1String(kLabel));
    Boxes& boxes = m_surface.boxes;
    Pointer& pointer = m_surface.pointer;

    if (m_files.count() == 0) {
        boxes.message(QStringLiteral("No files added."));
        return Outcome::NoFiles;
    }
    if (!FileSystem::isDirectory(m_options.resultsFolder())) {
        boxes.message(QStringLiteral("Folder does not exist. Please select another folder."));
        return Outcome::NoResultsFolder;
    }

    m_skipped.clear();
    m_journalFailure.reset();
    m_journalId = 0;
    std::optional<RunRecorder> recorder;
    if (!m_dryRun && !m_journalFolder.isEmpty())
        recorder.emplace(m_journalFolder, m_program);
    pointer.setShape(PointerShape::Busy);
    NamingRequest request;
    if (m_options.renameBy() == RenameBy::Content)
        request = askForAnswers();

    // One namer object a run: what it learns about taken names holds only while
    // nothing else changes the results folder.
    Renaming renaming(m_options, m_surface.reporter);
    renaming.setDryRun(m_dryRun);
    renaming.setBetweenChunks([this] { m_surface.events.processEvents(); });

    const int n = m_files.count();
    m_prefetchWords = -1;
    bool stopped = false;
    for (int i = 1; i <= n && !(stopped = stopping()); ++i) {
        m_surface.events.processEvents();
        trap(110, [&] {
            const int m = m_files.count();
            m_surface.progress.setValue(double(i + 1) / double(m + 1) * 100.0);
        });
        pointer.setShape(PointerShape::Busy);

        QString source;
        trap.setSubject(QString());
        if (!trap(130, [&] { source = m_files.entry(i); }))
            continue; // the entry is gone: nothing to rename at this turn
        trap.setSubject(source);
        // Looked at once and opened at most once, for the page reader, the
        // namer and the copy alike; where the page reader opened it to read it
        // ahead, that open file is the one.
        std::shared_ptr<FileSystem::Source> held = m_surface.pageText.openedAhead(source);
        if (!held)
            held = std::make_shared<FileSystem::Source>(source);
        FileSystem::Source& opened = *held;

        QString pageText;
        std::optional<Failure> pageFailure;
        // Metadata read as a browser reads it comes from the page-text service
        // instead of the page's text.
        const bool readHtml = m_options.renameBy() == RenameBy::Metadata &&
                              m_options.nameOptions().readHtml;
        PageMetadata metadata;
        // A device or a pipe is never read, not even for its page text: the
        // namer reports it.
        if (readHtml) {
            if (!opened.isSpecial()) {
                startMetadataPrefetch(i, n);
                trap.clearLastFailure();
                if (!trap(165, [&] { metadata = readPageMetadata(held); }))
                    pageFailure = trap.lastFailure();
            }
        } else if (m_options.tagMode() == TagMode::IgnoreTags &&
                   (m_pagesForMetadata || m_options.renameBy() != RenameBy::Metadata) &&
                   !opened.isSpecial()) {
            startPrefetch(i, n, request);
            trap.clearLastFailure();
            if (!trap(160, [&] { pageText = readPageText(held); }))
                pageFailure = trap.lastFailure();
        }

        const RenameBy by = m_options.renameBy();
        if (by == RenameBy::None)
            continue; // nothing is called, so the file is neither renamed nor listed
        // A stop while the page was read may have cut its reading short: naming
        // the file from that would be wrong.
        if ((stopped = stopping()))
            break;
        NameResult named;
        // A page whose text could not be read, or not whole (too slow, too
        // large), is passed over with that reason: named from no text, it
        // would keep its own name as if it were empty. Otherwise a page that
        // could not be read is the namer's to judge.
        if (pageFailure && (by == RenameBy::Content || readHtml)) {
            named = NameResult::passedOver(SkipCause::Failed, pageFailure);
        } else {
            trap.clearLastFailure();
            trap(170, [&] {
                if (by == RenameBy::Content) {
                    request.wordCount.value(); // a count that did not convert fails here, as typed
                    named = renaming.RenameFile(opened, request, pageText);
                } else {
                    named = renaming.RenameMeta(
                        opened, m_options.metaPattern(), readHtml ? &metadata : nullptr);
                }
            });
            // A failure of the call itself (the word count does not fit) says
            // more than what the namer got to see.
            if (trap.lastFailure())
                named =
                    NameResult::passedOver(SkipCause::Failed, trap.lastFailure());
        }
        const FileResult result(std::move(named), source);
        trap(180, [&] {
            if (!result.renamed)
                m_skipped.append(source);
        });
        if (result.renamed && recorder)
            record(*recorder, result);
        if (onFileDone)
            onFileDone(result);
        pointer.setShape(PointerShape::Busy);
    }

    m_surface.pageText.releaseFiles();
    pointer.setShape(PointerShape::Default);
    m_surface.progress.setValue(0);
    m_surface.progress.setText(QStringLiteral("Progress Bar"));
    if (stopped)
        return Outcome::Stopped;
    boxes.message(closingMessage());
    return Outcome::Completed;
}

NamingRequest RenameRun::askForAnswers()
{
    BoxAnswers boxAnswers(m_surface.boxes);
    RunAnswers& given = m_answers ? *m_answers : boxAnswers;
    return given.ask(m_options.contentMethod());
}

// How many words of each page the namer can use with the options as they stand;
// 0 when it may need the whole text.
int RenameRun::wordsWanted(const NamingRequest& request) const
{
    if (m_options.renameBy() != RenameBy::Content)
        return 1; // the text is not used, but a page without a body must still fail
    if (!request.wordCount.converted())
        return 0; // no name comes of it; the text is read as a whole, as ever
    switch (m_options.contentMethod()) {
    case ContentMethod::FirstWords:
        return std::max(1, request.wordCount.valueOr(1));
    case ContentMethod::WordPositions:
        return int(std::min<qint64>(request.highestPosition(), INT_MAX));
    default:
        break;
    }
    return 0; // the whole text
}

// Lets the page-text service read the pages still to come on spare cores. Asked
// again whenever the options change what the namer needs of a page.
// Only a hint: whatever goes wrong here shows up when the page itself is read.
void RenameRun::startPrefetch(int from, int count, const NamingRequest& request)
{
    const int wanted = wordsWanted(request);
    if (wanted == m_prefetchWords)
        return;
    m_prefetchWords = wanted;
    QStringList paths;
    ignoringFailures([&] {
        for (int j = from; j <= std::min(count, m_files.count()); ++j)
            paths.append(m_files.entry(j));
        return true;
    });
    m_surface.pageText.prefetch(paths, wanted);
}

// The text must be that of the file the run holds open. One that cannot be
// opened is left to the reader, whose failure says why; a plan, which copies
// nothing, opens nothing for this and lets the service check the path.
bool RenameRun::holdForReading(FileSystem::Source& source) const
{
    return source.isOpen() || (!m_dryRun && source.tryFile());
}

QString RenameRun::readPageText(const std::shared_ptr<FileSystem::Source>& source)
{
    PageText& page = m_surface.pageText;
    if (holdForReading(*source))
        page.navigateOpened(source);
    else
        page.navigate(source->path());
    for (int polls = 0; page.readyState() != PageText::kComplete && polls < kMaxPolls; ++polls) {
        m_surface.events.processEvents();
        m_surface.pointer.setShape(PointerShape::Busy);
    }
    return page.bodyText();
}

// As startPrefetch(), for the metadata of the pages still to come.
void RenameRun::startMetadataPrefetch(int from, int count)
{
    if (m_prefetchWords == kMetadataPrefetch)
        return;
    m_prefetchWords = kMetadataPrefetch;
    QStringList paths;
    ignoringFailures([&] {
        for (int j = from; j <= std::min(count, m_files.count()); ++j)
            paths.append(m_files.entry(j));
        return true;
    });
    m_surface.pageText.prefetchMetadata(paths);
}

// A page that cannot be read has no metadata to name it by: the failure is the
// source's.
PageMetadata RenameRun::readPageMetadata(const std::shared_ptr<FileSystem::Source>& source)
{
    PageText& page = m_surface.pageText;
    if (holdForReading(*source))
        page.navigateMetadataOpened(source);
    else
        page.navigateMetadata(source->path());
    for (int polls = 0; page.readyState() != PageText::kComplete && polls < kMaxPolls; ++polls) {
        m_surface.events.processEvents();
        m_surface.pointer.setShape(PointerShape::Busy);
    }
    try {
        return page.metadata();
    } catch (const Failure& failure) {
        if (failure.kind() != Failure::Kind::Other)
            throw;
        throw Failure(failure.description(), failure.code(), Failure::Kind::SourceUnreadable);
    }
}

QString RenameRun::closingMessage() const
{
    QString list;
    for (const QString& path : m_skipped)
        list += QStringLiteral("\r\n") + path;
    if (!TextRules::trimBlanks(list).isEmpty())
        list = QStringLiteral("\r\nThe following files were skipped because they could not be read "
                              "or renamed:") +
               list;
    return QStringLiteral("Done.") + list;
}
