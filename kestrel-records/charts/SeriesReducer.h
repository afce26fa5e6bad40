// One series of a chart reduced, while its samples are read, to what a chart
// can show of it, in memory that does not grow with their number.
//
// The time axis is cut into bins whose width is a power of two; each run of
// the line keeps, per bin it passes, its first, last, lowest and highest
// sample, and the line through those looks as the line through every sample
// to within the bin's width. The range of times is known only at the end, so
// the width starts small and doubles, the bins merging pairwise, whenever the
// range outgrows kBinsAcrossRange bins: a bin is then under 1/3200 of the
// range, a quarter of a pixel of a plot area up to 800 pixels wide (the
// chart's is 790 at most). Markers of samples that are not finite are kept
// one per bin and kind.
//
// A series of at most kMostCircles samples is kept whole. Runs of the line
// keep their own bins, whether the record breaks off or starts over (a file
// appended to): a bin holds the samples of up to kMostRunsInABin runs apart,
// and the samples of any further run that passes it go into the run there
// nearest in pitch (its lowest and highest), the line from and to them kept
// where it leaves the bin's neighbours. Only past a bound of kept bins
// (kMostRunsInABin for every bin) do those lines go too: every bin then
// keeps at most kMostRunsInABin runs, and past that the bins widen.
#pragma once

#include "kestrel-records/charts/Chart.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

inline constexpr std::int64_t kBinsAcrossRange = 6400;
// Runs a bin keeps apart: past them the line within the bin is a band.
inline constexpr std::size_t kMostRunsInABin = 8;
// What a reducer of kBinsAcrossRange bins keeps at most.
inline constexpr std::size_t kMostChunks = kMostRunsInABin * kBinsAcrossRange + 256;

// Values cut into bins of a power-of-two width that keeps the range of the
// values within `bins` bins.
class Binning {
public:
    explicit Binning(std::int64_t bins = kBinsAcrossRange) : bins_(bins < 1 ? 1 : bins) {}
    // Takes `value` (finite) into the range; the number of times the width
    // doubled for it.
    int Take(double value);
    // Doubles the width.
    void Widen();
    // The bin of a value taken in: within Bins() of 0.
    std::int64_t Bin(double value) const;
    std::int64_t Bins() const { return bins_; }
    // Every value taken lies in bin -1 or 0.
    bool AllInTwo() const { return high_ - low_ <= width_; }

private:
    std::int64_t bins_;
    bool started_ = false;
    double origin_ = 0;
    double low_ = 0;
    double high_ = 0;
    double width_ = 1.0 / (1 << 20); // well below a tenth of a second, the finest step of a time
    double scale_ = 1 << 20;         // 1 / width_
};

class SeriesReducer {
public:
    // `binsAcrossRange` below kBinsAcrossRange: a coarser series (a chart
    // that must hold many), reduced at any length.
    explicit SeriesReducer(std::int64_t binsAcrossRange = kBinsAcrossRange);
    // Each sample in the file's order; `joined`: the line goes on to it from
    // the sample before.
    void Add(double time, double pitch, bool joined);
    // The series to draw.
    ChartSeries Take(std::string label);

private:
    struct Sample {
        double time;
        double pitch;
    };
    // What a run of the line keeps of one bin.
    struct Chunk {
        std::int64_t bin;
        Sample first, last, low, high;
        Sample entry;   // where the line comes to `first` from, when `entered`
        bool lowFirst;  // low came before high
        bool joined;    // the line comes to `first` from the chunk before
        bool entered;   // ... or from `entry`, a sample kept in another run's chunk
        bool mixed;     // holds samples of other runs: drawn in the order of time
    };
    void AddMark(double time, double pitch);
    void Merge();
    void Shift(int doublings);
    void Thin();
    void Cap();
    void Index();
    std::size_t Nearest(std::int64_t bin, double pitch) const;

    std::int64_t bins_;
    bool keepWhole_; // a series of at most kMostCircles samples
    std::size_t mostChunks_;
    ChartSeries series_;
    std::vector<ChartPoint> whole_; // while there are at most kMostCircles samples
    Binning times_;
    Binning pitches_; // for markers at an infinite time, which go by pitch
    std::vector<Chunk> chunks_;
    bool broken_ = false; // a sample not finite since the last finite one
    bool capped_ = false; // past the bound once: no line kept past a bin's runs
    // The run now: the chunk its last sample went to (npos: none yet),
    // whether that chunk is its own, and that sample and its bin.
    std::size_t at_ = static_cast<std::size_t>(-1);
    bool own_ = false;
    Sample previous_{0, 0};
    std::int64_t previousBin_ = 0;
    // Per bin (from -bins_ to bins_), the chunks of the runs it keeps apart;
    // made once a series longer than kMostCircles has a second run.
    std::vector<std::uint32_t> slots_;
    std::vector<std::uint8_t> filled_;
    // Markers by (kind, bin): kinds 0-8 are pitch nan, inf, -inf at a finite
    // time, at -inf and at inf (bin 0 for those); 9 and 10 a finite pitch
    // at -inf and at inf, by the pitch's bin.
    std::map<std::pair<int, std::int64_t>, ChartPoint> marks_;
};

// The looks a chart tells apart: ten colours, each in five dash patterns.
// Series beyond them are drawn as one, in grey.
inline constexpr std::size_t kMostSeriesApart = 50;
// What a whole chart may take, all its series together.
inline constexpr std::size_t kMostChartBytes = 1000000;

// The coarsest a series is drawn: one bin across its range.
inline constexpr int kCoarsest = 12;

// `series` drawn `doublings` times coarser: each run's bins that much wider.
// Counts and extremes stay those of every sample.
ChartSeries Coarser(const ChartSeries& series, int doublings);

// Series drawn as one, in grey: the legend counts the records it stands for.
class SeriesGroup {
public:
    void Add(const ChartSeries& series);
    std::size_t Records() const { return totals_.grouped; }
    ChartSeries Take();

private:
    SeriesReducer reducer_;
    ChartSeries totals_; // counts and extremes of every sample
};

// Brings `series` within what one chart of kMostChartBytes can hold (with
// the title `title`): beyond kMostSeriesApart the rest drawn as one in
// grey, then the series with the most to draw drawn coarser, one doubling
// at a time, until the whole fits. Each says so in its legend row.
void FitChart(std::vector<ChartSeries>& series, const std::string& title);
// One series drawn coarser until it takes at most `bytes` of a chart.
void FitSeries(ChartSeries& series, std::size_t bytes);
