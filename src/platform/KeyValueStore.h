#pragma once

#include <QString>

// The per-user store of named text values: the options panel saves each option
// there, the file-list commands and the sample files keep their choices. The
// window's settings store answers it; tests use a map.
class KeyValueStore
{
public:
    virtual ~KeyValueStore() = default;
    // The stored text, or `defaultValue` when the key is absent (a stored empty
    // text is returned as it is). Throws Failure when the store cannot be read.
    virtual QString read(const QString& key, const QString& defaultValue) = 0;
    // Stores the text under the key at once. Throws Failure when that is refused.
    virtual void save(const QString& key, const QString& value) = 0;
};
