// A host for the benchmarks: implements every host operation the module
// calls, as cheaply as it can, so that what is timed is the module's own
// work. Files are real: oapiOpenFile opens them under a root folder on disk,
// so a benchmark that writes lines pays for the real open, write and close.
#pragma once

#include "host/Mfd.h"

namespace bench_host {

// What the host has been asked to do since the last Reset(); a benchmark
// checks these to make sure it timed the path it meant to time.
struct Counts {
    long clockReads = 0;
    long lookups = 0;
    long pitchReads = 0;
    long opens = 0;
    long failedOpens = 0;
    long lines = 0;
    long closes = 0;
};

// The folder that paths relative to the host's root resolve against. Must
// be set before any file is opened; at most 200 characters.
void SetRoot(const char* folder);
const char* Root();

// The one object the host knows: its name and its pitch in radians.
void SetObject(const char* name, double pitchRadians);

// The computer clock the host reports, as a Modified Julian Date.
void SetClock(double mjd);

Counts& Counted();
void Reset();

} // namespace bench_host
