#pragma once

#include "platform/ErrorReporter.h"
#include "platform/Failure.h"

#include <QString>
#include <cerrno>
#include <exception>
#include <optional>
#include <utility>

// The address the report asks the user to send a screenshot to.
inline constexpr char kSupportAddress[] = "support@quenby.example";

// The text of one error report: description, CR LF, label (ending in a blank),
// "at line N", CR CR, then the request for a screenshot.
QString errorReportText(const QString& label, int line, const QString& description);

// Runs the numbered statements of a trapping routine. A statement that fails is
// reported with the routine's label and its number, and the routine goes on with
// the next statement: nothing is rolled back.
//
//     Trap trap(reporter, QStringLiteral("in Orlesk2021/08/31.Renaming.RenameFile "));
//     trap(10, [&] { bytes = FileSystem::readWholeFile(path); });
//     trap(20, [&] { ... });
class Trap
{
public:
    Trap(ErrorReporter& reporter, QString label) : m_reporter(reporter), m_label(std::move(label))
    {
    }

    // Runs one statement; answers true when it completed, false when it failed
    // and was reported.
    template <typename Statement> bool operator()(int line, Statement&& statement)
    {
        try {
            std::forward<Statement>(statement)();
            return true;
        } catch (const Failure& failure) {
            report(line, failure);
        } catch (const std::bad_alloc&) {
            report(line, Failure(QStringLiteral("Out of memory"), ENOMEM));
        } catch (const std::exception& other) {
            // A library's own exception: its text is the best description there is.
            report(line, Failure(QString::fromLocal8Bit(other.what())));
        }
        return false;
    }

    ErrorReporter& reporter() const { return m_reporter; }
    const QString& label() const { return m_label; }

    // The file or folder the statements now work on, handed to the reporter
    // with every failure.
    void setSubject(const QString& subject) { m_subject = subject; }

    // The last failure trapped since the last clear, so that a routine can say
    // why it gave up on a file.
    const std::optional<Failure>& lastFailure() const { return m_lastFailure; }
    void clearLastFailure() { m_lastFailure.reset(); }

private:
    void report(int line, const Failure& failure)
    {
        m_lastFailure = failure;
        m_reporter.reportFailure(m_label, line, failure, m_subject);
    }

    ErrorReporter& m_reporter;
    QString m_label;
    QString m_subject;
    std::optional<Failure> m_lastFailure;
};

// For the few short tests that ignore failures and answer false instead.
template <typename Test> bool ignoringFailures(Test&& test) noexcept
{
    try {
        return std::forward<Test>(test)();
    } catch (...) {
        return false;
    }
}
