// The signal that asks the program to stop (SIGINT, SIGTERM), as the
// handler of commands/Interrupts.cpp keeps it, where long work below the
// commands (reading a large scenario while the flight is checked) looks at
// it to stop at once rather than when it is done.
#pragma once

#include <csignal>

// 0 while none has come.
inline volatile std::sig_atomic_t gStopSignal = 0;

// Thrown by such work when the signal has come: not a problem of the input,
// so no HostError, which callers add their context to.
struct StoppedBySignal {
    int signal = 0;
};

// Throws StoppedBySignal once a signal has come.
inline void StopIfSignalled()
{
    if (const int signal = gStopSignal; signal != 0) {
        throw StoppedBySignal{signal};
    }
}
