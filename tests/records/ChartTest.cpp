// The chart of a long record: what SeriesReducer keeps of it looks as the
// line through every sample does, to within a pixel; and many series stay
// told apart.
#include "kestrel-records/charts/Chart.h"
#include "kestrel-records/charts/SeriesReducer.h"

#include "tests/support/TestFiles.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <sstream>

using ::testing::HasSubstr;

namespace {

struct Point {
    double x, y;
};

// The runs of the line (each <polyline>, each move of a <path>), the dots
// and the markers, in pixels.
struct Drawing {
    std::vector<std::vector<Point>> runs;
    std::vector<Point> dots;
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
    for (const std::size_t at : Elements(svg, "path")) {
        std::istringstream points(Attribute(svg, at, "d"));
        std::string word;
        while (points >> word) {
            if (word[0] == 'M') {
                drawing.runs.emplace_back();
                word.erase(0, 1);
            }
            Point point{0, 0};
            char comma = 0;
            std::istringstream(word) >> point.x >> comma >> point.y;
            drawing.runs.back().push_back(point);
        }
    }
    for (const std::size_t at : Elements(svg, "circle")) {
        drawing.dots.push_back(Point{std::stod(Attribute(svg, at, "cx")), std::stod(Attribute(svg, at, "cy"))});
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

// Each run of the line goes on in time: its x never decreases.
void ExpectGoingOn(const Drawing& drawing, const char* what)
{
    std::size_t back = 0;
    for (const std::vector<Point>& run : drawing.runs) {
        for (std::size_t i = 1; i < run.size(); ++i) {
            if (run[i].x < run[i - 1].x && ++back <= 3) {
                ADD_FAILURE() << what << ": back from x " << run[i - 1].x << " to " << run[i].x;
            }
        }
    }
    EXPECT_EQ(back, 0u) << what;
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
    ExpectGoingOn(reducedDrawing, "reduced");
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
    // Fifty looks: ten colours, then each again with the next dash pattern,
    // on the line and on its legend row alike.
    const std::map<std::size_t, std::string> dashes = {{9, ""}, {10, "8 4"}, {20, "2 3"}, {30, "10 3 2 3"}, {49, "4 4 1 4"}};
    for (const std::size_t count : {21u, 50u}) {
        std::vector<ChartSeries> series(count);
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
        EXPECT_EQ(Elements(svg, "polyline").size(), count);
        EXPECT_EQ(looks.size(), count);
        std::vector<std::string> legend;
        for (const std::size_t at : Elements(svg, "line")) {
            if (Attribute(svg, at, "stroke-width") == "3") {
                legend.push_back(Attribute(svg, at, "stroke-dasharray"));
            }
        }
        ASSERT_EQ(legend.size(), count);
        for (const auto& [i, dash] : dashes) {
            if (i < count) {
                EXPECT_EQ(legend[i], dash) << "series " << i << " of " << count;
            }
        }
    }
}

// A series fed to a reducer and kept whole beside it, as the chart of every
// sample would have it.
struct BothWays {
    ChartSeries full;
    SeriesReducer reducer;
    bool previousFinite = false;
    void Add(double time, double pitch, bool joined)
    {
        reducer.Add(time, pitch, joined);
        ++full.samples;
        const bool finite = std::isfinite(pitch) && std::isfinite(time);
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
    }
};

TEST(Chart, EachBinKeepsItsFirstLowestHighestAndLastInTheirOrder)
{
    // Bins of 1 s (a range of 6400 s over 6400 bins) from 0.05 s: in the
    // first, the highest comes before the lowest; in the second, after.
    // Either with the range known before (the bins as they end), or taken
    // last, the bins doubling as the range grows and merging pairwise.
    const std::vector<std::pair<double, double>> zigzag = {
        {0.1, 5}, {0.2, 9}, {0.3, 1}, {0.4, 7}, {0.5, 3}, {0.6, 6}, {1.1, 5}, {1.2, 1}, {1.3, 9}, {1.4, 3}};
    const std::vector<std::pair<double, double>> kept = {{0.1, 5}, {0.2, 9}, {0.3, 1}, {0.6, 6},
                                                         {1.1, 5}, {1.2, 1}, {1.3, 9}, {1.4, 3}};
    for (const bool rangeFirst : {true, false}) {
        SeriesReducer reducer;
        if (rangeFirst) {
            reducer.Add(6400.05, 4, false);
            reducer.Add(0.05, 4, false);
        }
        for (std::size_t i = 0; i < zigzag.size(); ++i) {
            reducer.Add(zigzag[i].first, zigzag[i].second, i > 0);
        }
        for (double time = 2.5; time <= 6400; time += 0.5) {
            reducer.Add(time, 4, true);
        }
        if (!rangeFirst) {
            reducer.Add(6400.05, 4, false);
        }
        const ChartSeries series = reducer.Take("x");
        std::vector<std::pair<double, double>> points;
        for (const ChartPoint& p : series.line) {
            if (p.time >= 0.1 && p.time < 2) {
                points.emplace_back(p.time, p.pitch);
            }
        }
        EXPECT_EQ(points, kept) << (rangeFirst ? "range first" : "range last");
    }
}

TEST(Chart, RecordsThatBreakOffOrStartOverLookAsEverySampleWithinAPixel)
{
    struct Case {
        const char* name;
        std::function<void(BothWays&)> make;
    };
    std::mt19937_64 random(20261209);
    auto noise = [&] { return static_cast<double>(random() >> 11) / 9007199254740992.0 - 0.5; };
    const std::vector<Case> cases = {
        // 30,000 runs of two lines, starting over in turn at 0-7500 s and
        // at 20000-27500 s: some 16 runs a bin of 8 s.
        {"a record that starts over 30,000 times",
         [&](BothWays& both) {
             for (int run = 0; run < 30000; ++run) {
                 const double start = (run % 2 == 0 ? 0 : 20000) + (run / 2) * 0.5;
                 double pitch = 30 * std::sin(start / 300) + 8 * noise();
                 for (int k = 0; k < 3; ++k) {
                     both.Add(start + 0.1 * k, pitch, k > 0);
                     pitch += 2 * noise();
                 }
             }
         }},
        // Bins of 0.5 s; at 0 s and at 3060 s eight runs each; a ninth from
        // within the first (its sample in the band of the nearest) to 3030 s
        // (a bin of its own) and on into the second, 60 bins (8 pixels)
        // later: both lines drawn.
        {"lines out of and into bins that keep as many runs apart as they may",
         [&](BothWays& both) {
             for (int i = 0; i < 500; ++i) {
                 both.Add(100 + i * 3.8, 0, i > 0);
             }
             for (const double at : {0.0, 3060.0}) {
                 for (int run = 0; run < 8; ++run) {
                     both.Add(at + run * 0.01, 10 + run, false);
                     both.Add(at + run * 0.01 + 0.005, 11 + run, true);
                 }
             }
             both.Add(0.09, 50, false);
             both.Add(3030, -40, true);
             both.Add(3060.09, 50, true);
         }},
        // 38,400 lines, 0.1 s apart, every third starting anew.
        {"a record that breaks off every three lines",
         [&](BothWays& both) {
             double pitch = 0;
             for (int line = 0; line < 38400; ++line) {
                 if (line % 3 == 0) {
                     pitch = 20 * std::sin(line / 900.0) + 6 * noise();
                     both.Add(line * 0.1, pitch, false);
                 }
                 pitch += 3 * noise();
                 both.Add(line * 0.1 + 0.1, pitch, true);
             }
         }},
    };
    for (const Case& c : cases) {
        BothWays both;
        c.make(both);
        std::vector<ChartSeries> reduced = {both.reducer.Take("x")};
        FitChart(reduced, "Pitch of x");
        const std::string fullSvg = ChartSvg({both.full}, "Pitch of x");
        const std::string reducedSvg = ChartSvg(reduced, "Pitch of x");
        EXPECT_LT(reducedSvg.size(), kMostChartBytes) << c.name;
        EXPECT_EQ(reduced.front().coarser, 0) << c.name;
        const Drawing fullDrawing = Parse(fullSvg);
        const Drawing reducedDrawing = Parse(reducedSvg);
        const auto fullColumns = Columns(fullDrawing);
        const auto reducedColumns = Columns(reducedDrawing);
        ExpectWithinAPixel(reducedColumns, fullColumns, c.name);
        ExpectWithinAPixel(fullColumns, reducedColumns, c.name);
        ExpectGoingOn(reducedDrawing, c.name);
    }
}

TEST(Chart, ASampleWithNoLineToItIsADotAtAnyLength)
{
    // Lines of nan to a finite pitch: each finite sample between two nans,
    // and one sample at a time of nan: 199 lines the last series kept whole
    // (399 samples), 200 the first reduced (401).
    for (const int lines : {199, 200, 2000}) {
        SeriesReducer reducer;
        reducer.Add(NAN, 3, false);
        for (int i = 0; i < lines; ++i) {
            reducer.Add(i * 2.0, NAN, false);
            reducer.Add(i * 2.0 + 1, i == lines / 2 ? 80 : 5, true);
        }
        std::vector<ChartSeries> series = {reducer.Take("x")};
        FitChart(series, "Pitch of x");
        const std::string svg = ChartSvg(series, "Pitch of x");
        EXPECT_EQ(Parse(svg).dots.size(), static_cast<std::size_t>(lines)) << lines;
        EXPECT_EQ(Parse(svg).runs.size(), 0u) << lines;
        EXPECT_THAT(svg, HasSubstr("x: " + std::to_string(2 * lines + 1) + " samples, " + std::to_string(lines + 1) +
                                   " not finite (marked), of them 1 at time nan (not placed)"));
    }
}

TEST(Chart, AWholeChartStaysUnderAMegabyte)
{
    struct Case {
        const char* name;
        std::size_t files;
        int samples; // each
        const char* legend;
        int lastSamples = 0; // of the last file, when not `samples`
    };
    const std::vector<Case> cases = {
        {"ten noisy records", 10, 200000, "s9: 200000 samples, drawn coarser to fit the chart</text>"},
        // The series with the most to draw drawn coarser first: never the short one.
        {"four noisy records and a short one", 5, 200000, "s4: 2 samples</text>", 2},
        {"fifty records apart", 50, 2, "s49: 2 samples</text>"},
        {"one more in grey", 51, 2, ">1 more record, in grey: 2 samples</text>"},
        {"fifty records of 400 samples with nans", 60, 400, ">10 more records, drawn as one in grey: 4000 samples, 1010 not finite (marked), of them 10 at time nan"},
    };
    std::mt19937_64 random(7);
    for (const Case& c : cases) {
        std::vector<ChartSeries> series;
        for (std::size_t f = 0; f < c.files; ++f) {
            SeriesReducer reducer;
            const int samples = f + 1 == c.files && c.lastSamples > 0 ? c.lastSamples : c.samples;
            for (int i = 0; i < samples; ++i) {
                const double noisy = static_cast<double>(random() % 2000) / 10;
                // With 400: a quarter at a pitch of nan, one at a time of nan.
                reducer.Add(c.samples == 400 && i == 1 ? NAN : i * 0.1, c.samples == 400 && i % 4 == 0 ? NAN : noisy, i > 0);
            }
            series.push_back(reducer.Take("s" + std::to_string(f)));
        }
        FitChart(series, "Pitch of many");
        const std::string svg = ChartSvg(series, "Pitch of many");
        EXPECT_LT(svg.size(), kMostChartBytes) << c.name;
        EXPECT_THAT(svg, HasSubstr(c.legend)) << c.name;
        EXPECT_EQ(Occurrences(svg, "<g class=\"series\">"), std::min<std::size_t>(c.files, kMostSeriesApart + 1)) << c.name;
        // The grey series over the times of all it stands for.
        EXPECT_EQ(series.back().timeLow, 0) << c.name;
        EXPECT_EQ(series.back().timeHigh, (c.lastSamples > 0 ? c.lastSamples - 1 : c.samples - 1) * 0.1) << c.name;
    }
}

TEST(Chart, BeyondThirtyTwoRunsASeriesIsOnePath)
{
    // Runs of two samples, each a second apart: the last count drawn as
    // polylines and the first as one path of as many moves.
    for (const std::size_t runs : {kMostPolylines, kMostPolylines + 1}) {
        ChartSeries series;
        series.label = "x";
        for (std::size_t i = 0; i < runs; ++i) {
            series.line.push_back(ChartPoint{static_cast<double>(2 * i), 1, false});
            series.line.push_back(ChartPoint{static_cast<double>(2 * i + 1), 2, true});
        }
        series.samples = series.line.size();
        series.timeLow = 0;
        series.timeHigh = static_cast<double>(2 * runs - 1);
        series.pitchLow = 1;
        series.pitchHigh = 2;
        const std::string svg = ChartSvg({series}, "x");
        const bool onePath = runs > kMostPolylines;
        EXPECT_EQ(Elements(svg, "polyline").size(), onePath ? 0 : runs) << runs;
        EXPECT_EQ(Elements(svg, "path").size(), onePath ? 1u : 0u) << runs;
        EXPECT_EQ(Parse(svg).runs.size(), runs);
        EXPECT_LE(svg.size() - svg.find("<g class"), MostSvgBytes(series)) << runs;
    }
}

TEST(Chart, ABinKeepsEightRunsApartAndTheNinthInTheNearest)
{
    // Runs over the same 8 s (a file appended to), 8000 samples each, at
    // 0, 10, ... 70 degrees and a ninth at 75: the bins of 2^-9 s hold a
    // sample or two of each. The ninth goes into the band of the nearest
    // (70), which reaches 76; no band grows more.
    for (const int runs : {8, 9}) {
        SeriesReducer reducer;
        for (int run = 0; run < runs; ++run) {
            const double pitch = run < 8 ? 10.0 * run : 75;
            for (int i = 0; i < 8000; ++i) {
                reducer.Add(i * 0.001, pitch + i % 2, i > 0);
            }
        }
        const std::string svg = ChartSvg({reducer.Take("x")}, "x");
        const Drawing drawing = Parse(svg);
        EXPECT_EQ(drawing.runs.size(), 8u) << runs;
        // The axis from 0 to 80 degrees over 400 pixels: 5 a degree.
        double highest = INFINITY;
        for (const std::vector<Point>& run : drawing.runs) {
            double low = INFINITY, high = -INFINITY;
            for (const Point& p : run) {
                low = std::min(low, p.y);
                high = std::max(high, p.y);
            }
            EXPECT_LE(high - low, 6 * 5.0 + 0.01) << runs;
            highest = std::min(highest, low);
        }
        EXPECT_DOUBLE_EQ(highest, 448 - 5 * (runs == 9 ? 76 : 71)) << runs;
    }
}

TEST(Chart, ManyRunsOfFewSamplesStayWithinTheBound)
{
    // 20,000 runs of 50 samples 20 s apart, each over the whole range: a
    // line from every sample to the next crosses many bins. The reducer
    // keeps what it may in bounded memory and time, the chart under 1 MB.
    SeriesReducer reducer;
    for (int run = 0; run < 20000; ++run) {
        for (int i = 0; i < 50; ++i) {
            reducer.Add(i * 20.0 + run * 0.001, (run * 7 + i * 13) % 90, i > 0);
        }
    }
    std::vector<ChartSeries> series = {reducer.Take("x")};
    EXPECT_EQ(series.front().samples, 1000000u);
    EXPECT_LE(series.front().line.size(), 5 * kMostChunks);
    // Still a quarter pixel: each of the 4000 bins of 0.25 s holds samples.
    std::set<double> times;
    for (const ChartPoint& p : series.front().line) {
        times.insert(std::floor(p.time * 4));
    }
    EXPECT_GE(times.size(), 3900u);
    // Every bin's lowest and highest sample drawn: a sample at pitch 0 and
    // one at 89 in each 0.25 s from 0 to 980 s.
    std::map<long, std::pair<double, double>> drawn;
    for (const ChartPoint& p : series.front().line) {
        auto [at, added] = drawn.try_emplace(static_cast<long>(std::floor(p.time * 4)), p.pitch, p.pitch);
        at->second.first = std::min(at->second.first, p.pitch);
        at->second.second = std::max(at->second.second, p.pitch);
    }
    std::size_t short_ = 0;
    for (long bin = 0; bin < 3920; ++bin) {
        short_ += drawn.count(bin) == 0 || drawn[bin].first > 0 || drawn[bin].second < 89 ? 1 : 0;
    }
    EXPECT_EQ(short_, 0u);
    FitChart(series, "x");
    EXPECT_LT(ChartSvg(series, "x").size(), kMostChartBytes);
}

TEST(Chart, TheLineGoesOnFromWhereItsRunWas)
{
    struct Case {
        const char* name;
        std::int64_t bins;
        std::function<void(SeriesReducer&)> make;
        // Consecutive in the line, the second joined to the first.
        std::vector<std::pair<std::pair<double, double>, std::pair<double, double>>> lines;
    };
    const std::vector<Case> cases = {
        // A run's sample taken just as the bins widen, into the bin its
        // sample before is in: the same chunk, whatever the widening moved.
        {"into its own bin as the bins widen", kBinsAcrossRange,
         [](SeriesReducer& reducer) {
             for (int i = 0; i <= 400; ++i) {
                 reducer.Add(i, 0, i > 0);
             }
             reducer.Add(6399, 0, false);
             reducer.Add(-0.5, 10, false); // bins of 1 s: bin -1
             reducer.Add(-1.2, 20, true);  // 6400.2 s: bins of 2 s, both in bin -1
         },
         {{{-0.5, 10}, {-1.2, 20}}}},
        // Bins of 1 s over 64 s. Eight runs in bin 10, then a ninth comes
        // from 0.5 s into it and goes on to 40.5 s; runs of two samples from
        // 48-51 s to 60-63 s then pass the bound, and the ninth's sample in
        // bin 10 goes into the nearest (the run at 17) and widens its band;
        // the line on to 40.5 s still from it.
        {"on from a bin that gave its sample up", 64,
         [](SeriesReducer& reducer) {
             reducer.Add(0, 0, false);
             reducer.Add(64, 0, false);
             for (int k = 0; k < 8; ++k) {
                 reducer.Add(10.1 + k * 0.01, 10 + k, false);
             }
             reducer.Add(0.5, 50, false);
             reducer.Add(10.5, 60, true);
             reducer.Add(40.5, 70, true);
             for (int k = 0; k < 2000; ++k) {
                 reducer.Add(48 + k % 4 + 0.5, 30, false);
                 reducer.Add(60 + k % 4 + 0.5, 35, true);
             }
         },
         {{{10.17, 17}, {10.5, 60}}, {{10.5, 60}, {40.5, 70}}}},
    };
    for (const Case& c : cases) {
        SeriesReducer reducer(c.bins);
        c.make(reducer);
        const ChartSeries series = reducer.Take("x");
        for (const auto& [from, to] : c.lines) {
            bool found = false;
            for (std::size_t i = 1; i < series.line.size(); ++i) {
                const ChartPoint& a = series.line[i - 1];
                const ChartPoint& b = series.line[i];
                found = found || (a.time == from.first && a.pitch == from.second && b.time == to.first &&
                                  b.pitch == to.second && b.joined);
            }
            EXPECT_TRUE(found) << c.name << ": " << from.first << " to " << to.first;
        }
    }
}

} // namespace
