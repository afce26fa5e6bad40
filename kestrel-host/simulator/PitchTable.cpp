#include "kestrel-host/simulator/PitchTable.h"

double PitchTable::At(double t) const
{
    if (points.empty()) {
        return 0.0;
    }
    if (t <= points.front().first) {
        return points.front().second;
    }
    if (t >= points.back().first) {
        return points.back().second;
    }
    for (std::size_t i = 1; i < points.size(); ++i) {
        const auto& [t1, v1] = points[i];
        if (t == t1) {
            return v1;
        }
        if (t < t1) {
            const auto& [t0, v0] = points[i - 1];
            if (t == t0) {
                return v0;
            }
            return v0 + (v1 - v0) * ((t - t0) / (t1 - t0));
        }
    }
    return points.back().second;
}
