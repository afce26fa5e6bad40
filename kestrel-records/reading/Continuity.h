// Whether a data line goes on from the line before it in the same file.
#pragma once

#include "kestrel-records/reading/DataLine.h"

#include <string>

// The end of the line before: its start + span, and its second pitch as printed.
struct LineEnd {
    double time = 0;
    std::string pitchText;
};

// A line carries on from the one before when it starts with that line's
// second pitch, at its end time. The times are compared within what their
// printing rounds away (0.05 s each, and 17 significant digits), since the
// file holds rounded values only. A file that an earlier run appended to,
// or that a scenario renamed to, holds more than one such run of lines.
bool CarriesOn(const LineEnd& before, const DataLine& line);
