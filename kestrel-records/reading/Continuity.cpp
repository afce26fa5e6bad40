#include "kestrel-records/reading/Continuity.h"

#include <cmath>

bool CarriesOn(const LineEnd& before, const DataLine& line)
{
    if (!(before.pitchText == line.startPitchText)) {
        return false;
    }
    if (!std::isfinite(before.time) || !std::isfinite(line.startTime)) {
        return before.time == line.startTime || (std::isnan(before.time) && std::isnan(line.startTime));
    }
    const double tolerance = 0.16 + 1e-15 * std::fmax(std::fabs(before.time), std::fabs(line.startTime));
    return std::fabs(before.time - line.startTime) <= tolerance;
}
