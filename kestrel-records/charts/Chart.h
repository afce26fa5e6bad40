// The SVG chart of `kestrel-records plot`: time on x, degrees on y, one
// series per data file with its own colour and a legend row. Samples whose
// pitch is inf, -inf or nan are marked on the plot's edge (▲ inf at the
// top, ▼ -inf and ◇ nan at the bottom), samples at an infinite time on the
// left or right edge; samples at a time of nan are counted in the legend.
// Beyond ten series the colours come round again with a dash pattern; a
// series that stands for many records is drawn in grey. A series of many
// runs is drawn as one path, its breaks gaps in it; a finite sample with no
// line to or from it as a dot.
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
    std::size_t grouped = 0;       // records it stands for, drawn as one in grey (0: a record's own)
    int coarser = 0;               // doublings of its bins' width to fit the chart: no dot on each sample
};

// Runs of a series drawn each as a polyline; a series of more is one path.
inline constexpr std::size_t kMostPolylines = 32;

// What ChartSvg writes of series[i] in the chart of `series`: its lines,
// dots, markers and legend row.
std::size_t SeriesSvgBytes(const std::vector<ChartSeries>& series, std::size_t i);
// At most what ChartSvg writes for `s` in any chart: its lines, dots,
// markers and legend row.
std::size_t MostSvgBytes(const ChartSeries& s);
// At most what ChartSvg writes besides its series, for a title of `titleBytes`.
std::size_t MostFrameBytes(std::size_t titleBytes);

std::string ChartSvg(const std::vector<ChartSeries>& series, const std::string& title);

// Text for XML character data and attributes: markup characters escaped,
// bytes that are not UTF-8 read as Latin-1, control characters as U+FFFD.
std::string XmlText(const std::string& text);
