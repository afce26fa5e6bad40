// A vessel's pitch over simulated time: [time, radians] points.
#pragma once

#include <utility>
#include <vector>

struct PitchTable {
    // In strictly increasing time; at least one point.
    std::vector<std::pair<double, double>> points;

    // Exactly a point's value at its time, linear between two points,
    // constant before the first and after the last.
    double At(double t) const;
};
