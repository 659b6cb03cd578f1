#include "shell/MoreOptions.h"

#include "platform/Failure.h"
#include "platform/KeyValueStore.h"
#include "shell/SettingsStore.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QVBoxLayout>

void MoreOptions::load()
{
    m_values.shorten = readTruth(kShortenKey);
    m_values.readHtml = readTruth(kReadHtmlKey);
    m_values.windowsSafe = readTruth(kWindowsSafeKey);
}

bool MoreOptions::readTruth(const char* key)
{
    try {
        return SettingsStore::toTruth(
            m_store.read(QLatin1String(key), QStringLiteral("False")));
    } catch (const Failure&) {
        return false;
    }
}

void MoreOptions::save(const char* key, bool on)
{
    try {
        m_store.save(QLatin1String(key), on ? QStringLiteral("True") : QStringLiteral("False"));
    } catch (const Failure&) {
    }
}

void MoreOptions::setShorten(bool on)
{
    m_values.shorten = on;
    save(kShortenKey, on);
}

void MoreOptions::setReadHtml(bool on)
{
    m_values.readHtml = on;
    save(kReadHtmlKey, on);
}

void MoreOptions::setWindowsSafe(bool on)
{
    m_values.windowsSafe = on;
    save(kWindowsSafeKey, on);
}

MoreOptionsDialog::MoreOptionsDialog(MoreOptions& options, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("More Options"));
    auto* layout = new QVBoxLayout(this);
    const auto box = [&](const QString& text, bool checked, void (MoreOptions::*set)(bool)) {
        auto* check = new QCheckBox(text, this);
        check->setChecked(checked);
        connect(check, &QCheckBox::toggled, this, [this, &options, set](bool on) {
            (options.*set)(on);
            emit changed();
        });
        layout->addWidget(check);
        return check;
    };
    const NameOptions& now = options.values();
    m_shorten = box(QStringLiteral("Shorten names that are too long"), now.shorten,
                    &MoreOptions::setShorten);
    m_readHtml = box(QStringLiteral("Read metadata as a browser does"), now.readHtml,
                     &MoreOptions::setReadHtml);
    m_windowsSafe = box(QStringLiteral("Names safe for Windows"), now.windowsSafe,
                        &MoreOptions::setWindowsSafe);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}
