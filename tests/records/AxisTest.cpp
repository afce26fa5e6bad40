// Chart axes: round steps, exact labels, and sensible ends for any range.
#include "kestrel-records/charts/Axis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

std::vector<std::string> Labels(const Axis& axis)
{
    std::vector<std::string> labels;
    for (const AxisTick& tick : axis.ticks) {
        labels.push_back(tick.label);
    }
    return labels;
}

TEST(Axis, RoundStepsAndExactLabelsForAnyRange)
{
    struct Case {
        const char* name;
        double lowest, highest;
        std::vector<std::string> labels;
        const char* anchor;
    };
    // About 8 steps: the step is the first of 1, 2, 5 × 10^n at least a
    // range's eighth, and the axis runs out to the ticks around the values.
    const std::vector<Case> cases = {
        {"example ascent's times", 0, 180, {"0", "50", "100", "150", "200"}, ""},
        {"a tenth exactly", 10, 90, {"10", "20", "30", "40", "50", "60", "70", "80", "90"}, ""},
        {"one value: 5 % room each side", 45, 45, {"42", "43", "44", "45", "46", "47", "48"}, ""},
        {"one value of zero: 1 each side", 0, 0, {"-1", "-0.5", "0", "0.5", "1"}, ""},
        {"no finite value", NAN, NAN, {"0", "0.2", "0.4", "0.6", "0.8", "1"}, ""},
        {"hundredths", 0.01, 0.05, {"0.01", "0.015", "0.02", "0.025", "0.03", "0.035", "0.04", "0.045", "0.05"}, ""},
        {"up to 1e17", 0, 1e17, {"0", "2e16", "4e16", "6e16", "8e16", "1e17"}, ""},
        {"1e17 and 32 s later: labels count from it", 1e17, 1e17 + 32, {"0", "5", "10", "15", "20", "25", "30", "35"},
         "+1e+17"},
        {"huge pitches", -1e200, 1e200, {"-1e200", "-5e199", "0", "5e199", "1e200"}, ""},
    };
    for (const Case& c : cases) {
        const Axis axis = MakeAxis(c.lowest, c.highest, 8);
        EXPECT_EQ(Labels(axis), c.labels) << c.name;
        EXPECT_EQ(axis.anchorText, c.anchor) << c.name;
        ASSERT_FALSE(axis.ticks.empty()) << c.name;
        EXPECT_EQ(axis.ticks.front().at, 0) << c.name;
        EXPECT_EQ(axis.ticks.back().at, 1) << c.name;
    }
}

TEST(Axis, PlacesValuesNextToAnAnchorExactly)
{
    // 1e17 + 16 is the next double after 1e17; the axis runs 0 to 35 from 1e17.
    const Axis axis = MakeAxis(1e17, 1e17 + 32, 8);
    EXPECT_EQ(axis.Place(1e17), 0);
    EXPECT_DOUBLE_EQ(axis.Place(1e17 + 16), 16.0 / 35);
    EXPECT_DOUBLE_EQ(axis.Place(1e17 + 32), 32.0 / 35);
}

TEST(Axis, DecimalLabelPlainWhileShort)
{
    EXPECT_EQ(DecimalLabel(0, 5), "0");
    EXPECT_EQ(DecimalLabel(15, -1), "1.5");
    EXPECT_EQ(DecimalLabel(-25, -2), "-0.25");
    EXPECT_EQ(DecimalLabel(5, -6), "0.000005");
    EXPECT_EQ(DecimalLabel(5, -7), "5e-7");
    EXPECT_EQ(DecimalLabel(12, 10), "120000000000"); // 12 digits
    EXPECT_EQ(DecimalLabel(123, 10), "1.23e12");     // 13
    EXPECT_EQ(DecimalLabel(-10, 16), "-1e17");
}

} // namespace
