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
#include "rename/TextRules.h"

namespace {

// The browser-style wait: at most this many polls of the page's ready state.
constexpr int kMaxPolls = 100000;
constexpr int kReadyComplete = 4;

bool isSpecialFile(const QString& path)
{
    try {
        FileSystem::refuseSpecialFile(path);
        return false;
    } catch (const Failure&) {
        return true;
    }
}

// Clears the busy flag however the run ends.
struct BusyGuard
{
    bool& flag;
    explicit BusyGuard(bool& f) : flag(f) { flag = true; }
    ~BusyGuard() { flag = false; }
};

} // namespace

RenameRun::RenameRun(const FileEntries& files, const RenameOptions& options, Surface surface)
    : m_files(files), m_options(options), m_surface(surface)
{
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
    pointer.setShape(PointerShape::Busy);
    Answers answers;
    if (m_options.renameBy() == RenameBy::Content)
        answers = askForAnswers();

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

        QString pageText;
        std::optional<Failure> pageFailure;
        // A device or a pipe is never read, not even for its page text: the
        // namer reports it.
        if (m_options.tagMode() == TagMode::IgnoreTags &&
            (m_pagesForMetadata || m_options.renameBy() != RenameBy::Metadata) &&
            !isSpecialFile(source)) {
            startPrefetch(i, n, answers);
            trap.clearLastFailure();
            if (!trap(160, [&] { pageText = readPageText(source); }))
                pageFailure = trap.lastFailure();
        }

        const RenameBy by = m_options.renameBy();
        if (by == RenameBy::None)
            continue; // nothing is called, so the file is neither renamed nor listed
        // A stop while the page was read may have cut its reading short: naming
        // the file from that would be wrong.
        if ((stopped = stopping()))
            break;
        bool renamed = false;
        // A page whose text could not be read, or not whole (too slow, too
        // large), is passed over with that reason: named from no text, it
        // would keep its own name as if it were empty.
        const bool textFailed = pageFailure && by == RenameBy::Content;
        // Otherwise a page that could not be read is the namer's to judge; only
        // a failure of the call itself is the run's.
        trap.clearLastFailure();
        if (!textFailed) {
            trap(170, [&] {
                renamed = by == RenameBy::Content
                              ? callNamer(renaming, source, answers, pageText)
                              : renaming.RenameMeta(source, m_options.metaPattern());
            });
        }
        trap(180, [&] {
            if (!renamed)
                m_skipped.append(source);
        });
        if (onFileDone) {
            FileResult result;
            result.source = source;
            result.renamed = renamed;
            if (renamed)
                result.formed = renaming.lastOutcome();
            if (!renamed) {
                // A failure of the call itself (the word count does not fit) says
                // more than what the namer got to see.
                result.failure = textFailed           ? pageFailure
                                 : trap.lastFailure() ? trap.lastFailure()
                                                      : renaming.lastFailure();
                result.cause = textFailed || trap.lastFailure() ? Renaming::SkipCause::Failed
                                                                : renaming.lastSkipCause();
            }
            onFileDone(result);
        }
        pointer.setShape(PointerShape::Busy);
    }

    pointer.setShape(PointerShape::Default);
    m_surface.progress.setValue(0);
    m_surface.progress.setText(QStringLiteral("Progress Bar"));
    if (stopped)
        return Outcome::Stopped;
    boxes.message(closingMessage());
    return Outcome::Completed;
}

RenameRun::Answers RenameRun::askForAnswers()
{
    BoxAnswers boxAnswers(m_surface.boxes);
    RunAnswers& given = m_answers ? *m_answers : boxAnswers;
    Answers answers;
    const ContentMethod method = m_options.contentMethod();
    switch (method) {
    case ContentMethod::WordsAfter:
    case ContentMethod::WordsBefore:
        answers.searchString = given.searchString();
        answers.wordCount = given.wordCount(method);
        break;
    case ContentMethod::WordPositions: {
        answers.wordNumbers = given.wordNumbers();
        const QStringList entries = TextRules::splitText(answers.wordNumbers, QLatin1Char(','));
        answers.wordCount = entries.isEmpty() ? QString() : entries.first();
        break;
    }
    case ContentMethod::FirstWords:
    default: // a value from outside the list reads as its first method
        answers.wordCount = given.wordCount(method);
        break;
    }
    return answers;
}

bool RenameRun::acceptsWordNumbers(const QString& answer)
{
    const QStringList entries = TextRules::splitText(answer, QLatin1Char(','));
    return !entries.isEmpty() && std::all_of(entries.begin(), entries.end(), &TextRules::isNumeric);
}

// How many words of each page the namer can use with the options as they stand;
// 0 when it may need the whole text.
int RenameRun::wordsWanted(const Answers& answers) const
{
    if (m_options.renameBy() != RenameBy::Content)
        return 1; // the text is not used, but a page without a body must still fail
    try {
        switch (m_options.contentMethod()) {
        case ContentMethod::FirstWords:
            return std::max(1, TextRules::toWholeNumber(answers.wordCount));
        case ContentMethod::WordPositions: {
            const QStringList entries = TextRules::splitText(answers.wordNumbers, QLatin1Char(','));
            int wanted = std::max(1, TextRules::toWholeNumber(answers.wordCount));
            if (!entries.isEmpty() && TextRules::isNumeric(entries.last()))
                wanted = std::max(wanted, TextRules::toWholeNumber(entries.last()));
            return wanted;
        }
        default:
            break;
        }
    } catch (const Failure&) {
    }
    return 0; // the whole text
}

// Lets the page-text service read the pages still to come on spare cores. Asked
// again whenever the options change what the namer needs of a page.
// Only a hint: whatever goes wrong here shows up when the page itself is read.
void RenameRun::startPrefetch(int from, int count, const Answers& answers)
{
    const int wanted = wordsWanted(answers);
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

QString RenameRun::readPageText(const QString& path)
{
    PageText& page = m_surface.pageText;
    page.navigate(path);
    for (int polls = 0; page.readyState() != kReadyComplete && polls < kMaxPolls; ++polls) {
        m_surface.events.processEvents();
        m_surface.pointer.setShape(PointerShape::Busy);
    }
    return page.bodyText();
}

bool RenameRun::callNamer(Renaming& renaming, const QString& source, const Answers& answers,
                          const QString& pageText)
{
    const qint32 wordCount = TextRules::toWholeNumber(answers.wordCount);
    switch (m_options.contentMethod()) {
    case ContentMethod::WordsAfter:
    case ContentMethod::WordsBefore:
        return renaming.RenameFile(source, wordCount, QString(), answers.searchString, pageText);
    case ContentMethod::WordPositions:
        return renaming.RenameFile(source, wordCount, answers.wordNumbers, QString(), pageText);
    default:
        break;
    }
    return renaming.RenameFile(source, wordCount, QString(), QString(), pageText);
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
