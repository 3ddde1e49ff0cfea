// Ctrl-C, SIGTERM and a logout's SIGHUP end a job cleanly: the file being
// written is abandoned without leaving a part behind, the job stops before
// its next step, and the program ends in its usual way.
#pragma once

#include "ConvertJob.h"

// Catches SIGINT, SIGTERM and SIGHUP. Each abandons the new files being
// written (AbandonNewFiles), asks `stop` (when not null) to stop the job and
// makes the returned descriptor readable (a self-pipe; -1 when none could be
// made). A second signal of the same kind ends the program at once. Called
// once, at start.
int CatchStopSignals(TJobStop* stop);

// The first of those signals caught, or 0.
int CaughtStopSignal();
