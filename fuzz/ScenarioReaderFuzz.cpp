// The scenario reader fed arbitrary block lines. Whatever the lines hold,
// the vessel name stays within its buffer and holds no '&', the interval
// stays finite, and writing the block and reading it back gives the same
// switch and name (a control character of the name written as '_') and the
// interval as its two decimals read, or, where those are too long for the
// line, the very same interval.
#include "fuzz/FuzzDisplay.h"
#include "text/FormatText.h"
#include "text/ScanText.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    KestrelScribeMFD& display = FuzzDisplay();
    ResetForFuzzing();
    FakeHost& host = FakeHost::Get();

    std::string block(reinterpret_cast<const char*>(data), size);
    std::size_t start = 0;
    while (start <= block.size()) {
        const std::size_t end = std::min(block.find('\n', start), block.size());
        host.scenarioLines.push_back(block.substr(start, end - start));
        start = end + 1;
    }
    display.ReadFromScenario(nullptr);

    if (std::memchr(recorder.vesselName, '\0', sizeof recorder.vesselName) == nullptr) {
        FuzzFailure("vessel name not terminated");
    }
    if (std::strchr(recorder.vesselName, '&') != nullptr) {
        FuzzFailure("'&' left in the vessel name");
    }
    if (!std::isfinite(recorder.interval)) {
        FuzzFailure("non-finite interval read");
    }

    const int recording = recorder.recording;
    double expectedInterval = recorder.interval;
    char fixed[256];
    if (FormatText(fixed, sizeof fixed, "%0.2f", expectedInterval) < sizeof fixed) {
        ScanDouble(fixed, expectedInterval);
    }
    const std::string name = recorder.vesselName;
    std::string saved = name;
    for (char& c : saved) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = '_';
        }
    }
    host.recordCalls = true; // keep the items written
    display.WriteToScenario(nullptr);
    for (const FakeScenarioItem& item : host.scenarioItems) {
        host.scenarioLines.push_back(item.key + " " + item.value);
    }
    host.recordCalls = false;
    recorder.interval = std::numeric_limits<double>::quiet_NaN(); // only the block's INT can set it again
    display.ReadFromScenario(nullptr);
    if (recorder.recording != recording) {
        FuzzFailure("recording switch changed by a write and read");
    }
    if (recorder.interval != expectedInterval) {
        FuzzFailure("interval changed by a write and read");
    }
    // A name with blanks other than ' ' cannot come from a block: the read
    // stops at any blank, so the name is one word with '&' turned to ' '.
    if (!name.empty() && name.front() != ' ' && name.back() != ' ' && recorder.vesselName != saved) {
        FuzzFailure("vessel name changed by a write and read");
    }
    return 0;
}
