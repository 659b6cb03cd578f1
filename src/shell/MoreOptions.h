#pragma once

#include "rename/NameOptions.h"

#include <QDialog>
#include <QString>

class KeyValueStore;
class QCheckBox;

// The naming options of the "More Options" dialog, each kept in the settings
// store under a key of its own and saved as soon as it changes. A value the
// store cannot give reads as off; a value it refuses to keep stays for this
// session only, as with the options panel.
class MoreOptions
{
public:
    static constexpr char kShortenKey[] = "ShortenNames";
    static constexpr char kReadHtmlKey[] = "ReadMetadataAsBrowser";
    static constexpr char kWindowsSafeKey[] = "WindowsSafeNames";

    explicit MoreOptions(KeyValueStore& store) : m_store(store) {}

    // Reads the stored values.
    void load();

    const NameOptions& values() const { return m_values; }
    void setShorten(bool on);
    void setReadHtml(bool on);
    void setWindowsSafe(bool on);

private:
    bool readTruth(const char* key);
    void save(const char* key, bool on);

    KeyValueStore& m_store;
    NameOptions m_values;
};

// The small dialog the file list's "More Options..." opens: one check box an
// option, each applied and saved when it is clicked.
class MoreOptionsDialog : public QDialog
{
    Q_OBJECT
public:
    MoreOptionsDialog(MoreOptions& options, QWidget* parent = nullptr);

    QCheckBox* shortenBox() const { return m_shorten; }
    QCheckBox* readHtmlBox() const { return m_readHtml; }
    QCheckBox* windowsSafeBox() const { return m_windowsSafe; }

signals:
    // A setting was changed and saved.
    void changed();

private:
    QCheckBox* m_shorten = nullptr;
    QCheckBox* m_readHtml = nullptr;
    QCheckBox* m_windowsSafe = nullptr;
};
