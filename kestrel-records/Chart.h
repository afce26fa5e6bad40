// The SVG chart of `kestrel-records plot`: time on x, degrees on y, one
// series per data file with its own colour and a legend row. Samples whose
// pitch is inf, -inf or nan are marked on the plot's edge (▲ inf at the
// top, ▼ -inf and ◇ nan at the bottom), samples at an infinite time on the
// left or right edge; samples at a time of nan are counted in the legend.
#pragma once

#include <string>
#include <vector>

struct ChartPoint {
    double time = 0;
    double pitch = 0;
    bool joined = false; // drawn connected to the point before it
};

struct ChartSeries {
    std::string label; // the legend's text: vessel and stamp
    std::vector<ChartPoint> points;
};

std::string ChartSvg(const std::vector<ChartSeries>& series, const std::string& title);

// Text for XML character data and attributes: markup characters escaped,
// bytes that are not UTF-8 read as Latin-1, control characters as U+FFFD.
std::string XmlText(const std::string& text);
