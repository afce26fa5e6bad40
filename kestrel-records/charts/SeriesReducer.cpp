#include "kestrel-records/charts/SeriesReducer.h"

#include <algorithm>
#include <cmath>

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
    while (high_ - low_ > static_cast<double>(kBinsAcrossRange) * width_) {
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
    // value taken lies within kBinsAcrossRange bins of the origin.
    return static_cast<std::int64_t>(std::floor((value - origin_) * scale_));
}

void SeriesReducer::Add(double time, double pitch, bool joined)
{
    ++series_.samples;
    if (series_.samples <= kMostCircles) {
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
    const bool join = joined && !broken_ && !chunks_.empty();
    broken_ = false;
    if (join && chunks_.back().bin == bin) {
        Chunk& chunk = chunks_.back();
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
    chunks_.push_back(Chunk{bin, sample, sample, sample, sample, true, join});
    if (chunks_.size() > kMostChunks) {
        Thin();
    }
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
    Merge(false);
    std::map<std::pair<int, std::int64_t>, ChartPoint> shifted;
    for (const auto& [key, mark] : marks_) {
        const bool byTime = key.first < 9 && key.first % 3 == 0;
        shifted.try_emplace({key.first, byTime ? Halved(key.second, doublings) : key.second}, mark);
    }
    marks_ = std::move(shifted);
}

void SeriesReducer::Merge(bool acrossBreaks)
{
    std::size_t kept = 0;
    for (std::size_t i = 0; i < chunks_.size(); ++i) {
        const Chunk next = chunks_[i];
        if (kept == 0 || chunks_[kept - 1].bin != next.bin || !(next.joined || acrossBreaks)) {
            chunks_[kept++] = next;
            continue;
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
    }
    chunks_.resize(kept);
}

void SeriesReducer::Thin()
{
    Merge(true);
    while (chunks_.size() > kMostChunks / 2) {
        times_.Widen();
        Shift(1);
        Merge(true);
    }
}

ChartSeries SeriesReducer::Take(std::string label)
{
    series_.label = std::move(label);
    if (series_.samples <= kMostCircles) {
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
        const Sample inOrder[] = {chunk.first, chunk.lowFirst ? chunk.low : chunk.high,
                                  chunk.lowFirst ? chunk.high : chunk.low, chunk.last};
        series_.line.push_back(ChartPoint{chunk.first.time, chunk.first.pitch, chunk.joined});
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
