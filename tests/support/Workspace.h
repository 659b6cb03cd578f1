#pragma once

// A fresh temporary folder for each test function, with an empty results folder
// "out" inside and options that copy into it.

#include "rename/RenameOptions.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

class RenameWorkspace
{
protected:
    // Call from init(): drops the previous folder with everything in it.
    void makeWorkspace()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_out = path(QStringLiteral("out"));
        QVERIFY(QDir().mkdir(m_out));
        m_options = FixedRenameOptions();
        m_options.results = m_out;
    }

    QString path(const QString& name) const { return m_dir->filePath(name); }

    std::unique_ptr<QTemporaryDir> m_dir;
    FixedRenameOptions m_options;
    QString m_out;
};
