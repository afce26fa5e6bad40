#include "recorder/StepSampler.h"

#include "host/HostApi.h"
#include "recorder/RecordFile.h"
#include "recorder/RecorderState.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace {

constexpr double kDegreesPerRadian = 57.29577951308232;

} // namespace

int StampFromClock(double mjd)
{
    const double units = mjd * kStampUnitsPerDay;
    if (std::isnan(units)) {
        return 0;
    }
    if (units >= 2147483648.0) {
        return std::numeric_limits<int>::max();
    }
    if (units <= -2147483649.0) {
        return std::numeric_limits<int>::min();
    }
    return static_cast<int>(units); // truncates toward zero
}

MODULE_EXPORT void MODULE_CDECL opcPreStep(double /*simt*/, double simdt, double /*mjd*/)
{
    // While no file is begun the stamp follows the clock, so a file is named
    // after the step that writes its first line.
    if (recorder.fileStarted == 0) {
        recorder.fileStamp = StampFromClock(oapiGetSysMJD());
    }
    if (recorder.recording != 1) {
        return;
    }
    if (recorder.elapsed >= recorder.nextSample) {
        // The object is looked up by name at every sample: the vessel may
        // have been deleted, renamed or created since the last one.
        const OBJHANDLE object = oapiGetObjectByName(recorder.vesselName);
        if (object != nullptr) {
            double radians = 0.0;
            oapiGetPitch(object, &radians);
            recorder.pitch = radians * kDegreesPerRadian;
            recorder.span = recorder.elapsed - recorder.lastTime;
            // A new display or a scenario block can point the recorder at
            // another vessel without a fresh time axis: the last sample is
            // then another vessel's, and a line from it would claim a pitch
            // this vessel never had. This sample only seeds the next line.
            const bool sameVessel = std::strcmp(recorder.sampledVessel, recorder.vesselName) == 0;
            if (recorder.span > 0 && sameVessel) {
                if (AppendRecordLine()) {
                    recorder.fileStarted = 1;
                }
            }
            recorder.lastPitch = recorder.pitch;
            recorder.lastTime = recorder.elapsed;
            if (!sameVessel) {
                std::memcpy(recorder.sampledVessel, recorder.vesselName, sizeof recorder.sampledVessel);
            }
        }
        // With no object there is no reading: the last sample stays as it
        // was, so the line written once the vessel is back spans from it.
        // The schedule moves on either way.
        recorder.nextSample = recorder.nextSample + recorder.interval;
    }
    recorder.elapsed = recorder.elapsed + simdt;
}
