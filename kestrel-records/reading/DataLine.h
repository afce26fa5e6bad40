// One line of a data file, as the module writes it:
//   <start time>=pitch(<pitch then>, <pitch now>, <span>)
// e.g. "0.0=pitch(5.00, 7.50, 10.0)": times and the span in seconds with one
// decimal, pitches in degrees with two, or inf, -inf, nan.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>

// The module writes no line longer than this (without its line end).
inline constexpr std::size_t kLongestDataLine = 255;
// In place of tenths of a second: a time or span of inf, -inf or nan, or
// of 10^17 s or more either way.
inline constexpr std::int64_t kNoTenths = std::numeric_limits<std::int64_t>::min();

struct DataLine {
    // The four numbers exactly as the line prints them...
    std::string_view startTimeText;
    std::string_view startPitchText;
    std::string_view endPitchText;
    std::string_view spanText;
    // ...and their values (±infinity and NaN for inf, -inf, nan).
    double startTime = 0;
    double startPitch = 0;
    double endPitch = 0;
    double span = 0;
    // The start time and the span exactly as printed, in tenths of a second,
    // when they are below 10^17 s (17 digits before the point at most);
    // otherwise kNoTenths. A start time of -0.0 is 0 here.
    std::int64_t startTimeTenths = kNoTenths;
    std::int64_t spanTenths = kNoTenths;
};

// Reads `line` (without its line end). Returns nullptr when it is a line the
// module can write, with `out` filled in (its texts point into `line`);
// otherwise a short description of what is wrong, and `out` is unspecified.
// The module's lines obey more than their form: each number has at most 17
// significant digits (its formatter rounds to 17 first), no line is longer
// than 255 characters, and a line is written only after time has passed,
// so the span is never below zero nor nan.
// The line is read once, from left to right, and nothing is allocated.
const char* ParseDataLine(std::string_view line, DataLine& out);
