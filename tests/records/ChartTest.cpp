// The chart of a long record: what SeriesReducer keeps of it looks as the
// line through every sample does, to within a pixel; and many series stay
// told apart.
#include "kestrel-records/charts/Chart.h"
#include "kestrel-records/charts/SeriesReducer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <random>
#include <set>
#include <sstream>

namespace {

struct Point {
    double x, y;
};

// The runs of the line (each <polyline>) and the markers, in pixels.
struct Drawing {
    std::vector<std::vector<Point>> runs;
    std::vector<std::pair<std::string, Point>> markers; // class, first point
};

// The value of attribute `name` in the element that starts at `at`.
std::string Attribute(const std::string& svg, std::size_t at, const std::string& name)
{
    const std::size_t close = svg.find('>', at);
    const std::size_t start = svg.find(" " + name + "=\"", at);
    if (start == std::string::npos || start > close) {
        return "";
    }
    const std::size_t from = start + name.size() + 3;
    return svg.substr(from, svg.find('"', from) - from);
}

// Each element `tag` of the chart, at its start. (std::regex recurses per
// character and overflows the stack on a polyline of 260,000 points.)
std::vector<std::size_t> Elements(const std::string& svg, const std::string& tag)
{
    std::vector<std::size_t> found;
    for (std::size_t at = svg.find("<" + tag + " "); at != std::string::npos; at = svg.find("<" + tag + " ", at + 1)) {
        found.push_back(at);
    }
    return found;
}

Drawing Parse(const std::string& svg)
{
    Drawing drawing;
    for (const std::size_t at : Elements(svg, "polyline")) {
        std::vector<Point> run;
        std::istringstream points(Attribute(svg, at, "points"));
        double x = 0, y = 0;
        char comma = 0;
        while (points >> x >> comma >> y) {
            run.push_back(Point{x, y});
        }
        drawing.runs.push_back(run);
    }
    for (const std::size_t at : Elements(svg, "polygon")) {
        std::istringstream points(Attribute(svg, at, "points"));
        Point first{0, 0};
        char comma = 0;
        points >> first.x >> comma >> first.y;
        drawing.markers.emplace_back(Attribute(svg, at, "class"), first);
    }
    return drawing;
}

// Per pixel column, the lowest and highest y the line covers in it.
std::map<long, std::pair<double, double>> Columns(const Drawing& drawing)
{
    std::map<long, std::pair<double, double>> columns;
    auto cover = [&](long column, double y) {
        auto [at, added] = columns.try_emplace(column, y, y);
        at->second.first = std::min(at->second.first, y);
        at->second.second = std::max(at->second.second, y);
    };
    for (const std::vector<Point>& run : drawing.runs) {
        for (std::size_t i = 1; i < run.size(); ++i) {
            const Point a = run[i - 1].x <= run[i].x ? run[i - 1] : run[i];
            const Point b = run[i - 1].x <= run[i].x ? run[i] : run[i - 1];
            for (long column = static_cast<long>(std::floor(a.x)); column <= static_cast<long>(std::floor(b.x)); ++column) {
                // The segment between the column's edges.
                const double from = std::max(a.x, static_cast<double>(column));
                const double to = std::min(b.x, static_cast<double>(column + 1));
                auto yAt = [&](double x) { return b.x == a.x ? a.y : a.y + (b.y - a.y) * (x - a.x) / (b.x - a.x); };
                cover(column, yAt(from));
                cover(column, yAt(to));
                if (b.x == a.x) {
                    cover(column, b.y);
                }
            }
        }
    }
    return columns;
}

// Every column one drawing covers lies within a pixel of what the other
// covers in that column or a neighbour.
void ExpectWithinAPixel(const std::map<long, std::pair<double, double>>& one,
                        const std::map<long, std::pair<double, double>>& other, const char* what)
{
    std::size_t wrong = 0;
    for (const auto& [column, range] : one) {
        double low = INFINITY, high = -INFINITY;
        for (long near = column - 1; near <= column + 1; ++near) {
            if (const auto it = other.find(near); it != other.end()) {
                low = std::min(low, it->second.first);
                high = std::max(high, it->second.second);
            }
        }
        if (range.first < low - 1 || range.second > high + 1) {
            if (++wrong <= 5) {
                ADD_FAILURE() << what << ": column " << column << " covers " << range.first << " to " << range.second
                              << ", the other chart near it " << low << " to " << high;
            }
        }
    }
    EXPECT_EQ(wrong, 0u) << what;
}

TEST(Chart, AReducedSeriesLooksAsEverySampleWithinAPixel)
{
    // A long record of a pitch swinging fast and noisily, with spikes, three
    // nan samples (the line breaks at each), one inf, and then a second run
    // that starts over at time 0 (the file appended to).
    std::mt19937_64 random(20240611);
    auto noise = [&] { return static_cast<double>(random() >> 11) / 9007199254740992.0 - 0.5; };
    ChartSeries full;
    full.label = "Kestrel, stamp 613815001";
    SeriesReducer reducer;
    bool previousFinite = false;
    auto add = [&](double time, double pitch, bool joined) {
        reducer.Add(time, pitch, joined);
        ++full.samples;
        const bool finite = std::isfinite(pitch);
        if (!finite) {
            ++full.notFinite;
            full.marks.push_back(ChartPoint{time, pitch, false});
        } else {
            full.line.push_back(ChartPoint{time, pitch, joined && previousFinite});
            full.pitchLow = std::min(full.pitchLow, pitch);
            full.pitchHigh = std::max(full.pitchHigh, pitch);
        }
        full.timeLow = std::min(full.timeLow, time);
        full.timeHigh = std::max(full.timeHigh, time);
        previousFinite = finite;
    };
    const std::set<int> nans = {41003, 41004, 90017, 150029};
    for (int run = 0; run < 2; ++run) {
        const int samples = run == 0 ? 200000 : 60000;
        for (int i = 0; i < samples; ++i) {
            const double time = i * 0.1;
            double pitch = 30 * std::sin(time / 700) + 10 * noise() + (i % 9973 == 0 ? 60 : 0);
            if (run == 0 && nans.count(i) != 0) {
                pitch = NAN;
            } else if (run == 0 && i == 120011) {
                pitch = INFINITY;
            }
            add(time, pitch, i > 0);
        }
    }
    const ChartSeries reduced = reducer.Take(full.label);
    EXPECT_EQ(reduced.samples, 260000u);
    EXPECT_EQ(reduced.notFinite, 5u);

    const std::string fullSvg = ChartSvg({full}, "Pitch of Kestrel, stamp 613815001");
    const std::string reducedSvg = ChartSvg({reduced}, "Pitch of Kestrel, stamp 613815001");
    EXPECT_LT(reducedSvg.size(), 1u << 20);
    EXPECT_LT(reduced.line.size(), full.line.size() / 10);
    const Drawing fullDrawing = Parse(fullSvg);
    const Drawing reducedDrawing = Parse(reducedSvg);
    // The line breaks at the two nans together, at the other two nans and
    // at the inf, and where the second run starts over: six runs.
    EXPECT_EQ(fullDrawing.runs.size(), 6u);
    EXPECT_EQ(reducedDrawing.runs.size(), fullDrawing.runs.size());
    const auto fullColumns = Columns(fullDrawing);
    const auto reducedColumns = Columns(reducedDrawing);
    ExpectWithinAPixel(reducedColumns, fullColumns, "reduced against full");
    ExpectWithinAPixel(fullColumns, reducedColumns, "full against reduced");
    // Each marker of either chart has one of its kind within two pixels in the other.
    for (const auto& [a, b] : {std::pair{&fullDrawing, &reducedDrawing}, std::pair{&reducedDrawing, &fullDrawing}}) {
        for (const auto& marker : a->markers) {
            EXPECT_TRUE(std::any_of(b->markers.begin(), b->markers.end(), [&](const auto& other) {
                return other.first == marker.first && std::fabs(other.second.x - marker.second.x) <= 2 &&
                       other.second.y == marker.second.y;
            })) << marker.first << " at " << marker.second.x;
        }
    }
    EXPECT_FALSE(reducedDrawing.markers.empty());
}

TEST(Chart, ASeriesOfAtMostFourHundredSamplesIsKeptWhole)
{
    // The last that is kept whole and the first that is reduced: samples so
    // close in time fall in one bin, of which at most four are kept.
    for (const std::size_t count : {kMostCircles, kMostCircles + 1}) {
        SeriesReducer reducer;
        for (std::size_t i = 0; i < count; ++i) {
            reducer.Add(i * 1e-9, static_cast<double>(i % 7), i > 0);
        }
        const ChartSeries series = reducer.Take("x");
        if (count == kMostCircles) {
            EXPECT_EQ(series.line.size(), kMostCircles);
        } else {
            EXPECT_LE(series.line.size(), 4u);
        }
    }
}

TEST(Chart, MoreThanTenSeriesAreToldApart)
{
    std::vector<ChartSeries> series(21);
    for (std::size_t i = 0; i < series.size(); ++i) {
        series[i].label = "s" + std::to_string(i);
        series[i].samples = 2;
        series[i].line = {ChartPoint{0, static_cast<double>(i), false}, ChartPoint{1, static_cast<double>(i), true}};
        series[i].timeLow = 0;
        series[i].timeHigh = 1;
        series[i].pitchLow = series[i].pitchHigh = static_cast<double>(i);
    }
    const std::string svg = ChartSvg(series, "many");
    std::set<std::string> looks;
    for (const std::size_t at : Elements(svg, "polyline")) {
        looks.insert(Attribute(svg, at, "stroke") + " " + Attribute(svg, at, "stroke-dasharray"));
    }
    EXPECT_EQ(Elements(svg, "polyline").size(), 21u);
    EXPECT_EQ(looks.size(), 21u);
}

} // namespace
