#pragma once

#include <cstdint>
#include <string>

namespace zm::io {

// The run was stopped by SIGINT, SIGTERM or SIGHUP.
struct Interrupted {
    int signal;
};

// Installs handlers for SIGINT, SIGTERM and SIGHUP that only note the signal
// (without restarting the call they interrupt, so that a blocked read, write or
// open returns at once), and makes a broken pipe an error returned by write
// instead of a silent death.
void catchInterrupts();
// The signal that arrived, or 0.
int pendingInterrupt();
// Notes a signal as the handlers do (for a host that takes the signals itself).
void noteInterrupt(int signal);
// Throws Interrupted if a signal arrived. Under Node, where the handlers of
// signals run only when the program gives Node a turn, it gives Node one now
// and then (every 10 ms at most), so the program must be able to pause there.
void checkInterrupt();
// The same without giving Node a turn: for the checks at the event pumps inside
// a frame, where the program does not pause (under Node a signal then counts
// from the next wait for a key, a frame later at most).
void checkInterruptTaken();
// Ends the process as the signal would have, after the run has cleaned up.
[[noreturn]] void dieOf(int signal);

// Counts what a stream written in place receives during the commit, for the
// message of an interrupted run; forgetReceived starts a new commit.
std::uint64_t& receiving(std::string what);
void forgetReceived();
// The line to show for an interrupted run: what the interrupt stopped, and what
// standard output (or another stream written in place) had already received:
//   "interrupted by SIGINT; nothing was written"
//   "interrupted by SIGINT; standard output got 262,144 bytes before the interrupt"
std::string interruptedMessage(int signal);

} // namespace zm::io
