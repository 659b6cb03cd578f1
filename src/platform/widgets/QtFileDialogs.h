#pragma once

#include "platform/FileDialogs.h"

#include <QStringList>

class QWidget;

// The open-file dialog and the folder browser on QFileDialog.
class QtFileDialogs : public FileDialogs
{
public:
    explicit QtFileDialogs(QWidget* owner = nullptr) : m_owner(owner) {}

    QString openFiles(const QString& title, const QString& filter) override;
    QString browseForFolder(const QString& prompt, const QString& startFolder) override;

    // The dialog's answer for the chosen files: the one path, or the folder and
    // the names joined by NUL characters. Throws Failure with kBufferTooSmall when
    // it would not fit into kMaxFileNameSize characters.
    static QString answerFor(const QStringList& chosen);

    // "Name (*.a;*.b)|*.a;*.b|..." as QFileDialog takes it: "Name (*.a *.b)", one a line.
    static QString nameFilters(const QString& filter);

private:
    QWidget* m_owner;
    // The dialog opens where it was last left, as the platform's own dialog does.
    QString m_lastFolder;
};
