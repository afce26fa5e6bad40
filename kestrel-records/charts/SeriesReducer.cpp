#include "kestrel-records/charts/SeriesReducer.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

// A bin after `doublings` doublings of the width: halved as often, rounded down.
std::int64_t Halved(std::int64_t bin, int doublings)
{
    return doublings >= 63 ? (bin < 0 ? -1 : 0) : bin >> doublings;
}

} // namespace

int Binning::Take(double value)
{
    if (!started_) {
        started_ = true;
        origin_ = low_ = high_ = value;
        return 0;
    }
    low_ = std::min(low_, value);
    high_ = std::max(high_, value);
    // The values of a data line are below 1e256 (255 characters), so the
    // range is finite and this ends.
    int doublings = 0;
    while (high_ - low_ > static_cast<double>(bins_) * width_) {
        Widen();
        ++doublings;
    }
    return doublings;
}

void Binning::Widen()
{
    width_ *= 2;
    scale_ *= 0.5;
}

std::int64_t Binning::Bin(double value) const
{
    // Scaling by a power of two is exact, so a value's bin after a doubling
    // is its bin before, halved (rounded down): bins merge pairwise. Every
    // value taken lies within bins_ bins of the origin.
    return static_cast<std::int64_t>(std::floor((value - origin_) * scale_));
}

SeriesReducer::SeriesReducer(std::int64_t binsAcrossRange)
    : bins_(binsAcrossRange < 1 ? 1 : binsAcrossRange),
      keepWhole_(bins_ >= kBinsAcrossRange),
      mostChunks_(kMostRunsInABin * static_cast<std::size_t>(bins_) + 256),
      times_(bins_),
      pitches_(bins_)
{
}

void SeriesReducer::Add(double time, double pitch, bool joined)
{
    ++series_.samples;
    if (keepWhole_ && series_.samples <= kMostCircles) {
        whole_.push_back(ChartPoint{time, pitch, joined});
    } else if (!whole_.empty()) {
        whole_.clear();
        whole_.shrink_to_fit();
    }
    const bool timeFinite = std::isfinite(time);
    const bool pitchFinite = std::isfinite(pitch);
    if (timeFinite) {
        series_.timeLow = std::min(series_.timeLow, time);
        series_.timeHigh = std::max(series_.timeHigh, time);
        if (const int doublings = times_.Take(time)) {
            Shift(doublings);
        }
    }
    if (pitchFinite) {
        series_.pitchLow = std::min(series_.pitchLow, pitch);
        series_.pitchHigh = std::max(series_.pitchHigh, pitch);
    }
    if (!timeFinite || !pitchFinite) {
        ++series_.notFinite;
        broken_ = true;
        if (std::isnan(time)) {
            ++series_.unplaced;
        } else {
            AddMark(time, pitch);
        }
        return;
    }
    const Sample sample{time, pitch};
    const std::int64_t bin = times_.Bin(time);
    const bool join = joined && !broken_ && at_ != static_cast<std::size_t>(-1);
    broken_ = false;
    auto takeIn = [&](Chunk& chunk) {
        // A sample of another run: only the band it widens counts.
        if (pitch < chunk.low.pitch) {
            chunk.low = sample;
        }
        if (pitch > chunk.high.pitch) {
            chunk.high = sample;
        }
        chunk.mixed = true;
    };
    if (join && bin == previousBin_) {
        Chunk& chunk = chunks_[at_];
        previous_ = sample;
        if (!own_) {
            takeIn(chunk);
            return;
        }
        chunk.last = sample;
        if (pitch < chunk.low.pitch) {
            chunk.low = sample;
            chunk.lowFirst = false;
        }
        if (pitch > chunk.high.pitch) {
            chunk.high = sample;
            chunk.lowFirst = true;
        }
        return;
    }
    // A run new to this bin. Where the bin keeps as many runs apart as it
    // may, the sample goes into the nearest of them, unless the line comes
    // to it from further than the next bin: that line is kept.
    const std::size_t slot = static_cast<std::size_t>(bin + bins_);
    if (slots_.empty() && !join && (!keepWhole_ || series_.samples > kMostCircles)) {
        Index(); // a second run: from now on, the runs of each bin counted
    }
    const bool indexed = !slots_.empty();
    if (indexed && filled_[slot] >= kMostRunsInABin &&
        (!join || capped_ || (bin - previousBin_ <= 1 && previousBin_ - bin <= 1))) {
        at_ = Nearest(bin, pitch);
        own_ = false;
        previous_ = sample;
        previousBin_ = bin;
        takeIn(chunks_[at_]);
        return;
    }
    Chunk chunk{bin, sample, sample, sample, sample, previous_, true, join && own_, join && !own_, false};
    chunks_.push_back(chunk);
    if (indexed && filled_[slot] < kMostRunsInABin) {
        slots_[slot * kMostRunsInABin + filled_[slot]++] = static_cast<std::uint32_t>(chunks_.size() - 1);
    }
    at_ = chunks_.size() - 1;
    own_ = true;
    previous_ = sample;
    previousBin_ = bin;
    if (chunks_.size() > mostChunks_) {
        Thin();
    }
}

void SeriesReducer::Index()
{
    const std::size_t bins = static_cast<std::size_t>(2 * bins_ + 1);
    slots_.assign(bins * kMostRunsInABin, 0);
    filled_.assign(bins, 0);
    for (std::size_t i = 0; i < chunks_.size(); ++i) {
        const std::size_t slot = static_cast<std::size_t>(chunks_[i].bin + bins_);
        if (filled_[slot] < kMostRunsInABin) {
            slots_[slot * kMostRunsInABin + filled_[slot]++] = static_cast<std::uint32_t>(i);
        }
    }
}

std::size_t SeriesReducer::Nearest(std::int64_t bin, double pitch) const
{
    const std::size_t slot = static_cast<std::size_t>(bin + bins_);
    std::size_t best = slots_[slot * kMostRunsInABin];
    double bestDistance = INFINITY;
    for (std::size_t k = 0; k < filled_[slot]; ++k) {
        const std::size_t index = slots_[slot * kMostRunsInABin + k];
        const Chunk& chunk = chunks_[index];
        const double distance = std::max({0.0, chunk.low.pitch - pitch, pitch - chunk.high.pitch});
        if (distance < bestDistance) {
            bestDistance = distance;
            best = index;
        }
    }
    return best;
}

void SeriesReducer::AddMark(double time, double pitch)
{
    const int timeClass = std::isinf(time) ? (time < 0 ? 1 : 2) : 0;
    int kind = 0;
    std::int64_t bin = 0;
    if (!std::isfinite(pitch)) {
        kind = (std::isnan(pitch) ? 0 : pitch > 0 ? 1 : 2) * 3 + timeClass;
        if (timeClass == 0) {
            bin = times_.Bin(time);
        }
    } else {
        kind = timeClass == 1 ? 9 : 10;
        if (const int doublings = pitches_.Take(pitch)) {
            std::map<std::pair<int, std::int64_t>, ChartPoint> shifted;
            for (const auto& [key, mark] : marks_) {
                shifted.try_emplace({key.first, key.first >= 9 ? Halved(key.second, doublings) : key.second}, mark);
            }
            marks_ = std::move(shifted);
        }
        bin = pitches_.Bin(pitch);
    }
    marks_.try_emplace({kind, bin}, ChartPoint{time, pitch, false});
}

void SeriesReducer::Shift(int doublings)
{
    for (Chunk& chunk : chunks_) {
        chunk.bin = Halved(chunk.bin, doublings);
    }
    previousBin_ = Halved(previousBin_, doublings);
    Merge();
    std::map<std::pair<int, std::int64_t>, ChartPoint> shifted;
    for (const auto& [key, mark] : marks_) {
        const bool byTime = key.first < 9 && key.first % 3 == 0;
        shifted.try_emplace({key.first, byTime ? Halved(key.second, doublings) : key.second}, mark);
    }
    marks_ = std::move(shifted);
}

void SeriesReducer::Merge()
{
    std::size_t kept = 0;
    std::size_t at = at_;
    for (std::size_t i = 0; i < chunks_.size(); ++i) {
        const Chunk next = chunks_[i];
        if (kept == 0 || chunks_[kept - 1].bin != next.bin || !next.joined) {
            chunks_[kept++] = next;
            if (i == at_) {
                at = kept - 1;
            }
            continue;
        }
        if (i == at_) {
            at = kept - 1;
        }
        Chunk& chunk = chunks_[kept - 1];
        const bool lowFromNext = next.low.pitch < chunk.low.pitch;
        const bool highFromNext = next.high.pitch > chunk.high.pitch;
        if (lowFromNext && highFromNext) {
            chunk.lowFirst = next.lowFirst;
        } else if (lowFromNext || highFromNext) {
            chunk.lowFirst = highFromNext;
        }
        if (lowFromNext) {
            chunk.low = next.low;
        }
        if (highFromNext) {
            chunk.high = next.high;
        }
        chunk.last = next.last;
        chunk.mixed = chunk.mixed || next.mixed;
    }
    chunks_.resize(kept);
    at_ = at;
    if (!slots_.empty()) {
        Index();
    }
}

void SeriesReducer::Thin()
{
    // Every bin its kMostRunsInABin runs, from now on: within the bound
    // while the range spans kBinsAcrossRange bins.
    Cap();
    capped_ = true;
    while (chunks_.size() > mostChunks_ && !times_.AllInTwo()) {
        times_.Widen();
        Shift(1);
        Cap();
    }
}

void SeriesReducer::Cap()
{
    const std::size_t bins = static_cast<std::size_t>(2 * bins_ + 1);
    slots_.assign(bins * kMostRunsInABin, 0);
    filled_.assign(bins, 0);
    std::size_t kept = 0;
    std::size_t at = at_;
    bool cut = false; // the chunk before went into another run's
    Sample cutAt{0, 0};
    for (std::size_t i = 0; i < chunks_.size(); ++i) {
        Chunk chunk = chunks_[i];
        const std::int64_t bin = chunk.bin;
        const std::size_t slot = static_cast<std::size_t>(bin + bins_);
        if (filled_[slot] < kMostRunsInABin) {
            if (chunk.joined && cut) {
                chunk.joined = false;
                chunk.entered = true;
                chunk.entry = cutAt;
            }
            cut = false;
            slots_[slot * kMostRunsInABin + filled_[slot]++] = static_cast<std::uint32_t>(kept);
            chunks_[kept++] = chunk;
            if (i == at_) {
                at = kept - 1;
            }
            continue;
        }
        // Into the nearest run the bin keeps: the lines to and from it go.
        const std::size_t host = Nearest(bin, (chunk.low.pitch + chunk.high.pitch) / 2);
        Chunk& into = chunks_[host];
        for (const Sample& sample : {chunk.first, chunk.low, chunk.high, chunk.last}) {
            if (sample.pitch < into.low.pitch) {
                into.low = sample;
            }
            if (sample.pitch > into.high.pitch) {
                into.high = sample;
            }
        }
        into.mixed = true;
        cut = true;
        cutAt = chunk.last;
        if (i == at_) {
            at = host;
            own_ = false;
        }
    }
    chunks_.resize(kept);
    at_ = at;
}

ChartSeries SeriesReducer::Take(std::string label)
{
    series_.label = std::move(label);
    if (keepWhole_ && series_.samples <= kMostCircles) {
        bool previousFinite = false;
        for (const ChartPoint& p : whole_) {
            const bool finite = std::isfinite(p.time) && std::isfinite(p.pitch);
            if (finite) {
                series_.line.push_back(ChartPoint{p.time, p.pitch, p.joined && previousFinite});
            } else if (!std::isnan(p.time)) {
                series_.marks.push_back(p);
            }
            previousFinite = finite;
        }
        return std::move(series_);
    }
    for (const Chunk& chunk : chunks_) {
        Sample inOrder[] = {chunk.first, chunk.lowFirst ? chunk.low : chunk.high, chunk.lowFirst ? chunk.high : chunk.low,
                            chunk.last};
        if (chunk.mixed) {
            std::stable_sort(std::begin(inOrder), std::end(inOrder),
                             [](const Sample& a, const Sample& b) { return a.time < b.time; });
        }
        if (chunk.entered) {
            series_.line.push_back(ChartPoint{chunk.entry.time, chunk.entry.pitch, false});
        }
        series_.line.push_back(ChartPoint{inOrder[0].time, inOrder[0].pitch, chunk.joined || chunk.entered});
        for (std::size_t k = 1; k < 4; ++k) {
            const ChartPoint& before = series_.line.back();
            if (inOrder[k].time != before.time || inOrder[k].pitch != before.pitch) {
                series_.line.push_back(ChartPoint{inOrder[k].time, inOrder[k].pitch, true});
            }
        }
    }
    for (const auto& entry : marks_) {
        series_.marks.push_back(entry.second);
    }
    return std::move(series_);
}

namespace {

// Feeds what `series` draws into `reducer`, as samples again.
void Feed(const ChartSeries& series, SeriesReducer& reducer)
{
    for (const ChartPoint& p : series.line) {
        reducer.Add(p.time, p.pitch, p.joined);
    }
    for (const ChartPoint& p : series.marks) {
        reducer.Add(p.time, p.pitch, false);
    }
}

// `drawn` with the counts and extremes of every sample of `whole`.
ChartSeries WithCounts(ChartSeries drawn, const ChartSeries& whole)
{
    drawn.label = whole.label;
    drawn.samples = whole.samples;
    drawn.notFinite = whole.notFinite;
    drawn.unplaced = whole.unplaced;
    drawn.timeLow = whole.timeLow;
    drawn.timeHigh = whole.timeHigh;
    drawn.pitchLow = whole.pitchLow;
    drawn.pitchHigh = whole.pitchHigh;
    drawn.grouped = whole.grouped;
    drawn.coarser = whole.coarser;
    return drawn;
}

} // namespace

ChartSeries Coarser(const ChartSeries& series, int doublings)
{
    const int coarser = std::clamp(series.coarser + std::max(doublings, 0), 0, kCoarsest);
    SeriesReducer reducer(std::max<std::int64_t>(1, kBinsAcrossRange >> coarser));
    Feed(series, reducer);
    ChartSeries drawn = WithCounts(reducer.Take(""), series);
    drawn.coarser = coarser;
    return drawn;
}

void SeriesGroup::Add(const ChartSeries& series)
{
    Feed(series, reducer_);
    totals_.samples += series.samples;
    totals_.notFinite += series.notFinite;
    totals_.unplaced += series.unplaced;
    totals_.timeLow = std::min(totals_.timeLow, series.timeLow);
    totals_.timeHigh = std::max(totals_.timeHigh, series.timeHigh);
    totals_.pitchLow = std::min(totals_.pitchLow, series.pitchLow);
    totals_.pitchHigh = std::max(totals_.pitchHigh, series.pitchHigh);
    totals_.grouped += std::max<std::size_t>(series.grouped, 1);
    totals_.coarser = std::max(totals_.coarser, series.coarser);
}

ChartSeries SeriesGroup::Take()
{
    return WithCounts(reducer_.Take(""), totals_);
}

void FitSeries(ChartSeries& series, std::size_t bytes)
{
    // Bins of the whole range at the coarsest: a few points and markers.
    while (MostSvgBytes(series) > bytes && series.coarser < kCoarsest) {
        series = Coarser(series, 1);
    }
}

void FitChart(std::vector<ChartSeries>& series, const std::string& title)
{
    if (series.size() > kMostSeriesApart) {
        SeriesGroup rest;
        for (std::size_t i = kMostSeriesApart; i < series.size(); ++i) {
            rest.Add(series[i]);
        }
        series.resize(kMostSeriesApart);
        series.push_back(rest.Take());
    }
    std::size_t most = MostFrameBytes(title.size());
    for (const ChartSeries& s : series) {
        most += MostSvgBytes(s);
    }
    if (most < kMostChartBytes) {
        return; // within the bound, whatever the axes
    }
    // As the chart draws them: the axes stay as they are (counts and
    // extremes do), the series drawn coarser change.
    std::vector<std::size_t> bytes;
    std::size_t total = ChartSvg(series, title).size();
    for (std::size_t i = 0; i < series.size(); ++i) {
        bytes.push_back(SeriesSvgBytes(series, i));
    }
    while (total >= kMostChartBytes) {
        // The series with the most to draw that can be drawn coarser.
        std::size_t widest = series.size();
        for (std::size_t i = 0; i < series.size(); ++i) {
            if (series[i].coarser < kCoarsest && (widest == series.size() || bytes[i] > bytes[widest])) {
                widest = i;
            }
        }
        if (widest == series.size()) {
            break; // every series at its coarsest: a few points each
        }
        series[widest] = Coarser(series[widest], 1);
        total -= bytes[widest];
        bytes[widest] = SeriesSvgBytes(series, widest);
        total += bytes[widest];
    }
}
