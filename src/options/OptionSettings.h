#pragma once

#include <QString>

// Where the options panel writes each value the moment its control changes. The
// window hands it the settings store.
class OptionSettings
{
public:
    virtual ~OptionSettings() = default;
    // Stores the text under the key at once; throws Failure when that is refused.
    virtual void save(const QString& key, const QString& value) = 0;
};
