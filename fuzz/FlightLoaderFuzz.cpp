// The flight-file loader fed arbitrary bytes as a flight file. Whatever the
// text, the loader either gives a flight the run can play or throws
// HostError naming the problem; any other exception, a crash or a sanitizer
// report is a fault. A flight it gives must hold what the run relies on:
// events in step order, each at or before the last step, and the step count
// the sum of the runs.
#include "kestrel-host/common/HostError.h"
#include "kestrel-host/flight/FlightLoader.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

[[noreturn]] void Failure(const char* what)
{
    std::fprintf(stderr, "flight loader: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    // Relative input paths resolve under a folder that does not exist, so a
    // scenario named by the flight is refused rather than read.
    Flight flight;
    try {
        flight = ParseFlight(text, "/nonexistent/kestrel-fuzz/flight.json", "/nonexistent/kestrel-fuzz/root");
    } catch (const HostError&) {
        return 0;
    }
    long steps = 0;
    for (const StepRun& run : flight.steps) {
        if (run.count < 0 || !(run.dt >= 0)) {
            Failure("a run of steps with a negative count or length");
        }
        steps += run.count;
    }
    if (steps != flight.totalSteps) {
        Failure("the step count is not the sum of the runs");
    }
    long last = 0;
    for (const Event& event : flight.events) {
        if (event.step < last || event.step > flight.totalSteps) {
            Failure("an event out of order or after the last step");
        }
        last = event.step;
    }
    if (flight.focus && flight.vessels.empty()) {
        Failure("a focus with no vessel");
    }
    return 0;
}
