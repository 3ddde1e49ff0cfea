// Ctrl-C, SIGTERM and a logout's SIGHUP end a job cleanly: the file being
// written is abandoned without leaving a part behind, the job stops before
// its next step, and the program ends in its usual way. On Windows the
// console's control events do the same: Ctrl-C as SIGINT, Ctrl-Break as
// SIGBREAK, closing the console, log-off and shutdown as SIGHUP.
#pragma once

#include "app/batch/ConvertJob.h"

namespace tovali {

// Catches SIGINT, SIGTERM and SIGHUP (on Windows the console's control
// events). Each abandons the new files being written (AbandonNewFiles), asks
// `stop` (when not null) to stop the job and makes the returned descriptor
// readable (a self-pipe; -1 when none could be made, and always on Windows).
// A second signal of the same kind ends the program at once. Called once, at
// start.
int CatchStopSignals(TJobStop* stop);

#ifdef _WIN32
// The console control handler CatchStopSignals installs; false (the system's
// handler then ends the program) for a second event of the same kind.
int __stdcall OnConsoleControl(unsigned long event);
#endif

// The first of those signals caught, or 0.
int CaughtStopSignal();

}  // namespace tovali
