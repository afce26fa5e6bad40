#include "recorder/RecorderState.h"

// Constant-initialised: the recorder is ready before any code of the module
// runs, whatever order the host loads things in.
constinit RecorderState recorder{};

void ResetTimeAxis()
{
    recorder.fileStarted = 0;
    recorder.nextSample = 0;
    recorder.elapsed = 0;
    recorder.lastTime = 0;
    recorder.pitch = 0;
    recorder.lastPitch = 0;
    recorder.span = 0;
    recorder.sampledVessel[0] = '\0';
}
