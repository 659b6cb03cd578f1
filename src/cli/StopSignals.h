#pragma once

// Ctrl-C, SIGTERM, SIGHUP and SIGQUIT: the signal is only noted, so the copy under way ends
// normally and the run stops before the next file.
namespace StopSignals {
// Until deferred, a signal ends the program at once, with a message: nothing has
// been written yet, and a long folder scan should not keep the user waiting.
void install();
void defer();
// The signal that asked to stop, or 0.
int received();
} // namespace StopSignals
