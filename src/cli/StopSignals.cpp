#include "cli/StopSignals.h"

#include <QCoreApplication>
#include <csignal>
#include <unistd.h>

namespace StopSignals {
namespace {
volatile std::sig_atomic_t g_received = 0;
volatile std::sig_atomic_t g_deferred = 0;

void noteSignal(int signal)
{
    if (!g_deferred) {
        static const char message[] = "quenby-rename: interrupted before any file was renamed\n";
        [[maybe_unused]] const auto written = ::write(STDERR_FILENO, message, sizeof message - 1);
        ::_exit(128 + signal);
    }
    if (g_received == 0)
        g_received = signal;
}
} // namespace

void defer()
{
    g_deferred = 1;
}

void install()
{
    struct sigaction action = {};
    action.sa_handler = noteSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART; // the copy under way goes on undisturbed
    // A closed terminal or a dropped ssh session (SIGHUP) and SIGQUIT end the run
    // as SIGTERM does: killed outright, a copy on FAT would be left part-written.
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
        sigaction(signal, &action, nullptr);
}

int received()
{
    return g_received;
}
} // namespace StopSignals
