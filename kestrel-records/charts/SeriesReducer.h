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
// A series of at most kMostCircles samples is kept whole. Runs that start
// over in time (a file appended to) keep their own bins; only past
// kMostChunks kept bins (a record breaking off every few samples) do breaks
// inside one bin go, and past that the bins widen.
#pragma once

#include "kestrel-records/charts/Chart.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

inline constexpr std::int64_t kBinsAcrossRange = 6400;
// Two runs across the whole range fit: a file appended to once.
inline constexpr std::size_t kMostChunks = 2 * kBinsAcrossRange + 256;

// Values cut into bins of a power-of-two width that keeps the range of the
// values within kBinsAcrossRange bins.
class Binning {
public:
    // Takes `value` (finite) into the range; the number of times the width
    // doubled for it.
    int Take(double value);
    // Doubles the width.
    void Widen();
    // The bin of a value taken in.
    std::int64_t Bin(double value) const;

private:
    bool started_ = false;
    double origin_ = 0;
    double low_ = 0;
    double high_ = 0;
    double width_ = 1.0 / (1 << 20); // well below a tenth of a second, the finest step of a time
    double scale_ = 1 << 20;         // 1 / width_
};

class SeriesReducer {
public:
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
        bool lowFirst; // low came before high
        bool joined;   // the line comes to `first` from the chunk before
    };
    void AddMark(double time, double pitch);
    void Merge(bool acrossBreaks);
    void Shift(int doublings);
    void Thin();

    ChartSeries series_;
    std::vector<ChartPoint> whole_; // while there are at most kMostCircles samples
    Binning times_;
    Binning pitches_; // for markers at an infinite time, which go by pitch
    std::vector<Chunk> chunks_;
    bool broken_ = false; // a sample not finite since the last finite one
    // Markers by (kind, bin): kinds 0-8 are pitch nan, inf, -inf at a finite
    // time, at -inf and at inf (bin 0 for those); 9 and 10 a finite pitch
    // at -inf and at inf, by the pitch's bin.
    std::map<std::pair<int, std::int64_t>, ChartPoint> marks_;
};
