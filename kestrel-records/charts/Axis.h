// A chart axis for any range of doubles: round steps (1, 2 or 5 × 10^n),
// ticks on the multiples of the step, labels that are the exact decimal
// value of each tick. Where the range is tiny next to the values (times of
// 1e17 seconds a few seconds apart), the labels count from an anchor shown
// once beside the axis, so neighbouring ticks never print alike.
#pragma once

#include <string>
#include <vector>

struct AxisTick {
    double at = 0; // 0 at the axis' low end, 1 at its high end
    std::string label;
};

struct Axis {
    double anchor = 0;      // subtracted from a value before it is placed
    double low = 0;         // the ends, relative to the anchor
    double high = 1;
    std::string anchorText; // "" or "+1e+17": what the labels count from
    std::vector<AxisTick> ticks;

    // 0 at the low end, 1 at the high end; for finite values only.
    double Place(double value) const { return ((value - anchor) - low) / (high - low); }
};

// An axis over [lowest, highest] with about `ticks` steps. A single value
// gets room around it; no finite value at all (lowest > highest, or a
// value not finite) gives 0 to 1.
Axis MakeAxis(double lowest, double highest, int ticks);

// The text of m × 10^exponent: plain ("1500", "0.25") while that is short,
// otherwise with an exponent ("2.5e250").
std::string DecimalLabel(long long m, int exponent);
