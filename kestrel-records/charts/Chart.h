// The SVG chart of `kestrel-records plot`: time on x, degrees on y, one
// series per data file with its own colour and a legend row. Samples whose
// pitch is inf, -inf or nan are marked on the plot's edge (▲ inf at the
// top, ▼ -inf and ◇ nan at the bottom), samples at an infinite time on the
// left or right edge; samples at a time of nan are counted in the legend.
// Beyond ten series the colours come round again with a dash pattern.
#pragma once

#include <cmath>
#include <cstddef>
#include <string>
#include <vector>

// A series of at most this many samples is drawn with a dot on each sample.
inline constexpr std::size_t kMostCircles = 400;

struct ChartPoint {
    double time = 0;
    double pitch = 0;
    bool joined = false; // drawn connected to the point before it
};

// A series as the chart draws it: every sample, or for a long series what
// SeriesReducer keeps of them, and counts and extremes of all of them.
struct ChartSeries {
    std::string label; // the legend's text: vessel and stamp
    std::size_t samples = 0;
    std::size_t notFinite = 0; // time or pitch inf, -inf or nan
    std::size_t unplaced = 0;  // of them, at a time of nan
    // Over the finite values: the times, and the pitches (low > high: none).
    double timeLow = INFINITY;
    double timeHigh = -INFINITY;
    double pitchLow = INFINITY;
    double pitchHigh = -INFINITY;
    std::vector<ChartPoint> line;  // finite samples in order
    std::vector<ChartPoint> marks; // samples not finite, placed on an edge
};

std::string ChartSvg(const std::vector<ChartSeries>& series, const std::string& title);

// Text for XML character data and attributes: markup characters escaped,
// bytes that are not UTF-8 read as Latin-1, control characters as U+FFFD.
std::string XmlText(const std::string& text);
