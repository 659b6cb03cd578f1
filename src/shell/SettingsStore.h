#pragma once

#include "platform/KeyValueStore.h"

#include <QString>

// The user's stored options and remembered choices: named text values under
// organisation "Tessaly", application "Quenby", group "Quenby", kept in an INI
// file (~/.config/Tessaly/Quenby.conf). Every save reaches the file before it
// returns. An absent key reads as the caller's default; a key holding the empty
// text reads as the empty text.
class SettingsStore : public KeyValueStore
{
public:
    // The user's own store.
    SettingsStore();
    // The store file `Tessaly/Quenby.conf` below `folder` instead, for tests.
    static SettingsStore inFolder(const QString& folder);

    const QString& filePath() const { return m_filePath; }

    // Throws Failure when the file cannot be read or is malformed.
    QString read(const QString& key, const QString& defaultValue) override;
    // Throws Failure when the file cannot be written.
    void save(const QString& key, const QString& value) override;

    // The readers' conversions of a stored text. Both throw Failure ("Type
    // mismatch") for a text that is not a truth value or a number.
    // "True" and "False" in any letter case, or a number: zero is false.
    static bool toTruth(const QString& text);
    // A number rounded to the nearest whole number, a half to the even one;
    // outside -32768..32767 it throws Failure ("Overflow").
    static int toWhole(const QString& text);

private:
    explicit SettingsStore(QString filePath);

    QString m_filePath;
};
