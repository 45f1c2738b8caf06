#pragma once

namespace corvane {

// SIGINT, SIGTERM and SIGHUP end the main loop as closing the window does, so
// Ctrl+C or a logout still shuts down in order and the log keeps its end.
void installStopSignals();
bool stopRequested();
// Readable once a stop signal arrived, so that an idle wait ends for it;
// -1 before installStopSignals, or when no pipe could be made.
int stopSignalDescriptor();

}  // namespace corvane
