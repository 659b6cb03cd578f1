#pragma once

#include "preview/PreviewWindow.h"
#include "rename/RunAnswers.h"

#include <QObject>
#include <QPointer>
#include <memory>

class Boxes;
class FileList;
class OptionsPanel;
class Pointer;

class QWidget;
class RenameOptions;
class RunJournals;

// The window's commands around a run: "Preview New Names..." opens the preview
// beside the window, and "Undo Last Run..." takes the last recorded run back
// after asking. The answers the run's input boxes get pass through here, so
// that the preview starts from the last ones given.
class PreviewAndUndo : public QObject
{
    Q_OBJECT
public:
    PreviewAndUndo(QWidget& window, FileList& list, const RenameOptions& options,
                   OptionsPanel& panel, Boxes& boxes, Pointer& pointer);
    ~PreviewAndUndo() override;

    // The answers for the run: its own input boxes, remembered.
    RunAnswers& answers() { return *m_answers; }

    void showPreview();
    // Something the preview does not watch itself changed (an option of the
    // "More Options" dialog, the results folder's files after a run or an
    // undo): it plans again.
    void replanPreview();
    void undoLastRun();
    // Where the journals are read from (tests); the user's state folder unless set.
    void setJournalFolder(const QString& folder) { m_journalFolder = folder; }

    // The preview, once it has been opened.
    PreviewWindow* preview() const;

private:
    QWidget& m_window;
    FileList& m_list;
    const RenameOptions& m_options;
    OptionsPanel& m_panel;
    Boxes& m_boxes;
    Pointer& m_pointer;
    std::unique_ptr<BoxAnswers> m_boxAnswers;
    std::unique_ptr<RememberingAnswers> m_answers;
    QPointer<PreviewWindow> m_preview;
    QString m_journalFolder;
};
