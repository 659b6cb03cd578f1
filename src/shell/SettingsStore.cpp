#include "shell/SettingsStore.h"

#include "platform/Failure.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSettings>
#include <cmath>
#include <optional>

namespace {

const QString kGroup = QStringLiteral("Quenby");

// Qt reports a malformed file only to the first store that parses it and serves
// its cached reading afterwards. So the file is remembered as malformed, by its
// time and size, until it changes: every read fails alike until a save has
// written it soundly again.
struct FileStamp
{
    QDateTime modified;
    qint64 size = -1;
    bool operator==(const FileStamp&) const = default;
};

QHash<QString, FileStamp>& malformedFiles()
{
    static QHash<QString, FileStamp> files;
    return files;
}

FileStamp stampOf(const QString& path)
{
    const QFileInfo info(path);
    return {info.lastModified(), info.size()};
}

Failure malformed(const QString& path)
{
    return Failure(QStringLiteral("The settings file is malformed: ") + path);
}

// The status of a freshly opened store, as a failure with a description.
void checkReadable(const QSettings& settings, const QString& path)
{
    switch (settings.status()) {
    case QSettings::NoError: {
        const auto known = malformedFiles().constFind(path);
        if (known == malformedFiles().cend())
            return;
        if (*known == stampOf(path))
            throw malformed(path);
        malformedFiles().erase(known);
        return;
    }
    case QSettings::AccessError:
        throw Failure(QStringLiteral("The settings file cannot be read: ") + path);
    case QSettings::FormatError:
        malformedFiles().insert(path, stampOf(path));
        throw malformed(path);
    }
}

// Blanks around, an optional sign, digits with an optional decimal point, an
// optional exponent: the number a stored option may hold.
std::optional<double> parseNumber(const QString& text)
{
    const QString trimmed = text.trimmed();
    qsizetype i = 0;
    const qsizetype n = trimmed.size();
    auto digitsFrom = [&](qsizetype& at) {
        const qsizetype start = at;
        while (at < n && trimmed[at] >= u'0' && trimmed[at] <= u'9')
            ++at;
        return at - start;
    };
    if (i < n && (trimmed[i] == u'+' || trimmed[i] == u'-'))
        ++i;
    qsizetype digits = digitsFrom(i);
    if (i < n && trimmed[i] == u'.') {
        ++i;
        digits += digitsFrom(i);
    }
    if (digits == 0)
        return std::nullopt;
    if (i < n && (trimmed[i] == u'e' || trimmed[i] == u'E')) {
        ++i;
        if (i < n && (trimmed[i] == u'+' || trimmed[i] == u'-'))
            ++i;
        if (digitsFrom(i) == 0)
            return std::nullopt;
    }
    if (i != n)
        return std::nullopt;
    bool ok = false;
    const double value = trimmed.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

Failure typeMismatch()
{
    return Failure(QStringLiteral("Type mismatch"), 13);
}

} // namespace

// The native format on this platform is INI, kept in a ".conf" file.
SettingsStore::SettingsStore()
    : SettingsStore(QSettings(QSettings::NativeFormat, QSettings::UserScope,
                              QStringLiteral("Tessaly"), QStringLiteral("Quenby"))
                        .fileName())
{
}

SettingsStore::SettingsStore(QString filePath) : m_filePath(std::move(filePath)) {}

SettingsStore SettingsStore::inFolder(const QString& folder)
{
    return SettingsStore(QDir(folder).filePath(QStringLiteral("Tessaly/Quenby.conf")));
}

QString SettingsStore::read(const QString& key, const QString& defaultValue)
{
    // A store opened afresh for each value sees what another running copy wrote.
    QSettings settings(m_filePath, QSettings::IniFormat);
    checkReadable(settings, m_filePath);
    settings.beginGroup(kGroup);
    const QVariant value = settings.value(key);
    if (!value.isValid())
        return defaultValue;
    // An unquoted comma in a file edited by hand reads as a list.
    if (value.metaType().id() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", "));
    if (!value.canConvert<QString>())
        throw typeMismatch();
    return value.toString();
}

void SettingsStore::save(const QString& key, const QString& value)
{
    QSettings settings(m_filePath, QSettings::IniFormat);
    settings.beginGroup(kGroup);
    // Never a null text: the INI writer would store it as an invalid value.
    settings.setValue(key, value.isNull() ? QString(QLatin1String("")) : value);
    settings.endGroup();
    settings.sync();
    if (settings.status() == QSettings::AccessError)
        throw Failure(QStringLiteral("The settings file cannot be written: ") + m_filePath);
    malformedFiles().remove(m_filePath);
}

bool SettingsStore::toTruth(const QString& text)
{
    const QString word = text.trimmed();
    if (word.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (word.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        return false;
    const std::optional<double> number = parseNumber(text);
    if (!number)
        throw typeMismatch();
    return *number != 0.0;
}

int SettingsStore::toWhole(const QString& text)
{
    const std::optional<double> number = parseNumber(text);
    if (!number)
        throw typeMismatch();
    // The default rounding mode rounds a half to the even neighbour.
    const double rounded = std::nearbyint(*number);
    if (rounded < -32768.0 || rounded > 32767.0)
        throw Failure(QStringLiteral("Overflow"), 6);
    return static_cast<int>(rounded);
}
