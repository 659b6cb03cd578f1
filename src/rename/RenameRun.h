#pragma once

#include "rename/Renaming.h"
#include "rename/RunAnswers.h"

#include <QString>
#include <functional>
#include <memory>
#include <optional>

class Boxes;
class ErrorReporter;
class EventPump;
class FileEntries;
class PageText;
struct PageMetadata;
class Pointer;
class ProgressBar;
class RenameOptions;
class RunRecorder;

// What "Start Renaming" does: checks that there is something to rename and
// somewhere to put it, asks for what the content method needs, then hands every
// entry of the file list to a namer, showing progress, and ends with one "Done."
// message that lists the files passed over.
//
// Everything it touches goes through interfaces, so the window, the command line
// and the tests drive the same run.
class RenameRun
{
public:
    struct Surface
    {
        Boxes& boxes;
        Pointer& pointer;
        ProgressBar& progress;
        EventPump& events;
        PageText& pageText;
        ErrorReporter& reporter;
    };

    enum class Outcome { AlreadyRunning, NoFiles, NoResultsFolder, Completed, Stopped };

    // What became of one entry of the list.
    struct FileResult : NameResult
    {
        FileResult() = default;
        FileResult(NameResult named, QString source)
            : NameResult(std::move(named)), source(std::move(source))
        {
        }
        QString source;
    };

    RenameRun(const FileEntries& files, const RenameOptions& options, Surface surface);

    // The click of "Start Renaming". A click while a run is going returns at once.
    Outcome start();
    bool busy() const { return m_busy; }

    // Files whose namer answered false in the last run, in list order.
    const QStringList& skipped() const { return m_skipped; }

    // Called after each file the run handed to a namer.
    std::function<void(const FileResult&)> onFileDone;

    // Plan names and targets without copying (the command line's --dry-run).
    void setDryRun(bool dryRun) { m_dryRun = dryRun; }

    // The window loads each page in the ignore-tags mode whatever the namer, as
    // its browser did (a page without a body is reported). The metadata namer
    // never uses the text, so a front end without that duty may skip it.
    void setPagesForMetadata(bool load) { m_pagesForMetadata = load; }

    // Where the answers a content method needs come from; input boxes on the
    // run's surface unless set. Not owned.
    void setAnswers(RunAnswers* answers) { m_answers = answers; }

    // Where the journal of each run's copies goes, so that the run can be
    // undone; RunJournal::defaultFolder() unless set, none when empty. `program`
    // is recorded with the run.
    void setJournal(const QString& folder, const QString& program);
    // Why the last run could not be recorded, if it could not: it ran all the
    // same, but cannot be undone.
    const std::optional<Failure>& journalFailure() const { return m_journalFailure; }
    // The id of the last run's journal; 0 when it recorded nothing.
    int journalId() const { return m_journalId; }

    // Asked before each file and before each namer call: when it answers true the
    // run ends there, without its closing message, and start() answers Stopped.
    std::function<bool()> stopRequested;

    static constexpr char kLabel[] = "in Orlesk2021/08/31.Form1.PushButton2_Click ";

private:
    NamingRequest askForAnswers();
    bool stopping() const { return stopRequested && stopRequested(); }
    void startPrefetch(int from, int count, const NamingRequest& request);
    int wordsWanted(const NamingRequest& request) const;
    bool holdForReading(FileSystem::Source& source) const;
    QString readPageText(const std::shared_ptr<FileSystem::Source>& source);
    void startMetadataPrefetch(int from, int count);
    PageMetadata readPageMetadata(const std::shared_ptr<FileSystem::Source>& source);
    // m_prefetchWords while the metadata of the pages is read ahead.
    static constexpr int kMetadataPrefetch = -2;
    QString closingMessage() const;
    void record(RunRecorder& recorder, const NameResult& result);

    const FileEntries& m_files;
    const RenameOptions& m_options;
    Surface m_surface;
    bool m_busy = false;
    bool m_dryRun = false;
    bool m_pagesForMetadata = true;
    RunAnswers* m_answers = nullptr;
    QString m_journalFolder;
    QString m_program;
    std::optional<Failure> m_journalFailure;
    int m_journalId = 0;
    QStringList m_skipped;
    int m_prefetchWords = -1;
};
