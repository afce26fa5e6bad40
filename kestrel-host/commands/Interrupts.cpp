#include "kestrel-host/commands/Interrupts.h"

#include "kestrel-host/common/StopSignal.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>

namespace {

extern "C" void OnInterrupt(int signal)
{
    if (gStopSignal != 0) {
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    gStopSignal = signal;
    std::signal(signal, OnInterrupt); // where a handler is reset on delivery
}

} // namespace

void CatchInterrupts()
{
    for (const int signal : {SIGINT, SIGTERM}) {
        if (std::signal(signal, OnInterrupt) == SIG_IGN) {
            std::signal(signal, SIG_IGN); // started to ignore it (nohup): it still does
        }
    }
#ifdef SIGXFSZ
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}

int Interruption()
{
    return gStopSignal;
}

const char* SignalName(int signal)
{
    return signal == SIGINT ? "SIGINT" : signal == SIGTERM ? "SIGTERM" : "a signal";
}

void EndByInterruption(int signal)
{
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
#ifndef _WIN32
    std::signal(signal, SIG_DFL);
    std::raise(signal);
    std::_Exit(128 + signal);
#else
    (void)signal;
    std::_Exit(2);
#endif
}
