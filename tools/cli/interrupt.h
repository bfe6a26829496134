// Ctrl-C and SIGTERM end a run in order rather than at once: the line in
// flight is finished, nothing more is sent, and what was done is told (a
// bench writes its report). The handler only notes the signal; the run
// looks at the note between its steps.
#pragma once

#include <csignal>

namespace velimo::cli {

// Installs the handler for SIGINT and SIGTERM (system calls restart).
void CatchInterrupts();
// Whether one of them has come.
bool Interrupted();
// The flag itself, for a loop that polls it.
const volatile std::sig_atomic_t* InterruptFlag();

}  // namespace velimo::cli
