#pragma once

// Runs a built program as a user or a script would, for tests of whole programs.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <functional>

// What one run of a program gave. A program that did not start, or did not
// finish in time, is a result like any other: the test that ran it fails, not
// the whole test program.
struct ProgramRun
{
    bool started = false;
    bool finished = false;
    int exitCode = -1; // -1 when it did not end by itself
    QByteArray out;
    QByteArray err;
    QString problem; // why it did not start or finish; empty when it ran
};

// `inChild` runs in the child between fork and exec (to drop privileges, set
// limits); a child that cannot start the program is reported as not started.
inline ProgramRun runProgram(const QString& program, const QStringList& arguments,
                             const QByteArray& input = {},
                             const std::function<void()>& inChild = {},
                             const QString& workingFolder = {}, int timeoutMs = 60000)
{
    ProgramRun run;
    QProcess process;
    if (!workingFolder.isEmpty())
        process.setWorkingDirectory(workingFolder);
    if (inChild)
        process.setChildProcessModifier(inChild);
    process.start(program, arguments);
    if (!process.waitForStarted()) {
        run.problem = program + QStringLiteral(" did not start: ") + process.errorString();
        return run;
    }
    run.started = true;
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(timeoutMs)) {
        run.problem = program + QStringLiteral(" did not finish: ") + process.errorString();
        process.kill();
        process.waitForFinished();
    } else {
        run.finished = true;
        if (process.exitStatus() == QProcess::NormalExit)
            run.exitCode = process.exitCode();
    }
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

// Copies the named programs of `fromFolder` into `toFolder`, made if missing,
// and opens both the folder and the programs to every user: a build folder may
// lie below one that only its owner can enter, and a test that runs a program
// as another user runs this copy. Answers the copy's folder, or an empty string.
inline QString copyProgramsForEveryone(const QString& fromFolder, const QStringList& names,
                                       const QString& toFolder)
{
    if (!QDir().mkpath(toFolder))
        return {};
    const auto open = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                      QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
    if (!QFile::setPermissions(toFolder, open))
        return {};
    for (const QString& name : names) {
        const QString target = toFolder + u'/' + name;
        QFile::remove(target);
        if (!QFile::copy(fromFolder + u'/' + name, target) || !QFile::setPermissions(target, open))
            return {};
    }
    return toFolder;
}
