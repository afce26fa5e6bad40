// Both input-box callbacks fed arbitrary texts. The interval stays finite
// and positive, an accepted vessel name is exactly the text typed, and a
// refused one changes nothing.
#include "fuzz/FuzzDisplay.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    KestrelScribeMFD& display = FuzzDisplay();
    ResetForFuzzing();
    const std::string text(reinterpret_cast<const char*>(data), size); // cut at a NUL by the callbacks

    const double intervalBefore = recorder.interval;
    const bool intervalTaken = OnIntervalEntered(nullptr, text.c_str(), &display);
    if (!std::isfinite(recorder.interval) || recorder.interval <= 0) {
        FuzzFailure("interval not finite and positive");
    }
    if (!intervalTaken && recorder.interval != intervalBefore) {
        FuzzFailure("refused interval changed the interval");
    }
    if (!std::isfinite(recorder.intervalEntry)) {
        FuzzFailure("non-finite interval entry kept");
    }

    // Let the host know the typed name half of the time.
    if (size > 0 && (data[0] & 1) != 0 && std::strlen(text.c_str()) > 0) {
        FakeHost::Get().AddObject(text.c_str(), 0.2);
    }
    const std::string nameBefore = recorder.vesselName;
    const bool nameTaken = OnVesselEntered(nullptr, text.c_str(), &display);
    if (nameTaken && std::string(recorder.vesselName) != text.c_str()) {
        FuzzFailure("accepted name differs from the text");
    }
    if (!nameTaken && recorder.vesselName != nameBefore) {
        FuzzFailure("refused name changed the vessel");
    }
    if (std::memchr(recorder.vesselName, '\0', sizeof recorder.vesselName) == nullptr) {
        FuzzFailure("vessel name not terminated");
    }
    return 0;
}
