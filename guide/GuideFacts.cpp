// kestrel-guide-facts: prints the numbers the pilot's guide states, one
// NAME=VALUE a line, taken from the constants the module and kestrel-host
// are built with. BuildGuide.cmake puts each into the guide where it says
// @NAME@, so the guide cannot state a limit the program does not have.
#include "kestrel-host/simulator/ScenarioHandles.h"
#include "module/Version.h"
#include "recorder/RecordFile.h"
#include "recorder/RecorderState.h"
#include "recorder/StepSampler.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <type_traits>

namespace {

// The shortest text that reads back as `value`.
std::string Shortest(double value)
{
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

void Fact(const char* name, const std::string& value)
{
    std::printf("%s=%s\n", name, value.c_str());
}

void Fact(const char* name, std::size_t value)
{
    Fact(name, std::to_string(value));
}

} // namespace

int main()
{
    Fact("VERSION", KESTREL_VERSION_TEXT);

    // The texts the recorder builds and keeps: vessel names, data file names
    // and lines.
    constexpr std::size_t longestText = kRecordTextSize - 1;
    static_assert(sizeof RecorderState{}.vesselName == kRecordTextSize);
    Fact("LONGEST_TEXT", longestText);

    // The vessel box takes a name only if its data file name fits with any
    // stamp.
    Fact("LONGEST_BOX_NAME", kLongestRecordableName);
    Fact("FIRST_REFUSED_NAME", kLongestRecordableName + 1);

    // A name from the focus or a scenario is kept up to LONGEST_TEXT; its
    // lines are written while the data file name fits. Stamps have nine
    // digits from MJD 10000 until MJD 100000 (the years 1886 to 2132).
    constexpr std::size_t todaysStampDigits = 9;
    static_assert(10000.0 * kStampUnitsPerDay == 1e8 && 100000.0 * kStampUnitsPerDay == 1e9);
    constexpr std::size_t longestWrittenToday =
        longestText - (sizeof kDataFolderPrefix - 1) - 1 - todaysStampDigits - (sizeof ".txt" - 1);
    Fact("STAMP_DIGITS_TODAY", todaysStampDigits);
    Fact("LONGEST_WRITTEN_NAME_TODAY", longestWrittenToday);
    Fact("FIRST_UNWRITTEN_NAME_TODAY", longestWrittenToday + 1);

    // One unit of the stamp, in seconds of the computer clock.
    Fact("STAMP_SECONDS", Shortest(86400.0 / kStampUnitsPerDay));

    // The interval box reads its number in the precision of intervalEntry:
    // the largest it takes, as mantissa and power of ten, and the first
    // power of ten beyond it.
    using Entry = std::remove_reference_t<decltype(RecorderState{}.intervalEntry)>;
    const double largest = static_cast<double>(std::numeric_limits<Entry>::max());
    const int exponent = static_cast<int>(std::floor(std::log10(largest)));
    char mantissa[16];
    std::snprintf(mantissa, sizeof mantissa, "%.1f", std::floor(largest / std::pow(10.0, exponent) * 10.0) / 10.0);
    Fact("INTERVAL_MAX_MANTISSA", mantissa);
    Fact("INTERVAL_MAX_EXPONENT", std::to_string(exponent));
    Fact("INTERVAL_TOO_LARGE", "1e" + std::to_string(exponent + 1));

    // kestrel-host's line buffer for a scenario block's lines.
    Fact("SCENARIO_LINE", kScenarioLineBuffer);
    Fact("SCENARIO_LINE_KEPT", kScenarioLineBuffer - 1);
    return 0;
}
