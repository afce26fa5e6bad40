// Everything the recorder knows: one record for the whole module, shared by
// the step sampler and every display of the mode.
#pragma once

#include <cstdint>

struct RecorderState {
    // 0 off, 1 on; any other value (only a scenario can set one) is neither:
    // no sampling, no status word drawn, and the toggle leaves it alone.
    std::int32_t recording = 0;
    // 1 once the current data file has its first line; 0 means the next line
    // starts a new file name with a fresh stamp.
    std::int32_t fileStarted = 0;
    // The number in the data file's name: the computer clock's Modified
    // Julian Date times 10000, truncated toward zero.
    std::int32_t fileStamp = 0;
    // The recorded object's name: at most 255 characters and a terminator.
    char vesselName[256] = {};
    double interval = 10.0;   // sampling interval, seconds
    float intervalEntry = 0;  // the last number the interval box parsed
    double elapsed = 0;       // the recorder's time axis, seconds
    double nextSample = 0;    // when the next sample is due on that axis
    double lastTime = 0;      // time of the last sample
    double lastPitch = 0;     // pitch at the last sample, degrees
    double pitch = 0;         // pitch read at the current sample, degrees
    double span = 0;          // time from the last sample to the current one
    // The vessel the last sample was read from (empty: no sample since load
    // or the last ResetTimeAxis). A line pairs two samples of one vessel
    // only; handles are never kept between calls, so it is kept by name.
    char sampledVessel[256] = {};
};

// The one recorder of the module, alive as long as the module is loaded.
extern RecorderState recorder;

// Starts a fresh time axis (used when another vessel is chosen): clears
// fileStarted, the six time-axis fields and the sampled vessel; the switch,
// the interval and the stamp keep their values.
void ResetTimeAxis();
