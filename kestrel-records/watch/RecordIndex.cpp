#include "kestrel-records/watch/RecordIndex.h"

#include "kestrel-records/common/RecordsError.h"
#include "kestrel-records/reading/DataLine.h"
#include "kestrel-records/reading/LineReader.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <thread>

namespace {

// What is kept of the bytes before the point read to: enough that a file
// written again from its start shows as another file.
constexpr std::size_t kTailBytes = 64;

bool Meets(const DataLine& line, double from, double to)
{
    if (from > to) {
        return true;
    }
    if (!std::isfinite(line.startTime)) {
        return false;
    }
    const double end = line.startTime + line.span;
    return line.startTime <= to && end >= from;
}

// The bytes of `path` in [offset - kTailBytes, offset).
std::string BytesBefore(const std::string& path, std::uint64_t offset)
{
    const std::uint64_t from = offset > kTailBytes ? offset - kTailBytes : 0;
    std::string bytes(static_cast<std::size_t>(offset - from), '\0');
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return {};
    }
#ifdef _WIN32
    const bool moved = _fseeki64(file, static_cast<long long>(from), SEEK_SET) == 0;
#else
    const bool moved = fseeko(file, static_cast<off_t>(from), SEEK_SET) == 0;
#endif
    const std::size_t got = moved ? std::fread(bytes.data(), 1, bytes.size(), file) : 0;
    std::fclose(file);
    bytes.resize(got);
    return bytes;
}

// Samples as plot takes them from the lines of a file: each line gives the
// sample before (unless it carries on from the line before, which gave it
// already) and the one now.
struct SampleTaker {
    LineEnd end;
    bool first = true;
    // The samples added: 1 or 2.
    std::size_t Take(const DataLine& line, SeriesReducer& series)
    {
        std::size_t added = 1;
        if (first || !CarriesOn(end, line)) {
            series.Add(line.startTime, line.startPitch, false);
            ++added;
        }
        first = false;
        end.time = line.startTime + line.span;
        end.pitchText = line.endPitchText;
        series.Add(end.time, line.endPitch, true);
        return added;
    }
};

} // namespace

RecordIndex::RecordIndex(std::string path) : path_(std::move(path)), name_(ParseRecordName(path_)) {}

void RecordIndex::StartOver()
{
    const std::uint64_t generation = summary_.generation + 1;
    summary_ = RecordSummary{};
    summary_.generation = generation;
    marks_.clear();
    chunks_.clear();
    next_ = LineStart{};
    tail_.clear();
    whole_ = SeriesReducer{};
    end_ = LineEnd{};
    first_ = true;
}

bool RecordIndex::ReadOn(std::size_t mostLines)
{
    std::error_code error;
    const auto status = std::filesystem::symlink_status(path_, error);
    const std::uint64_t size = !error && std::filesystem::is_regular_file(status)
                                   ? static_cast<std::uint64_t>(std::filesystem::file_size(path_, error))
                                   : 0;
    std::uint64_t at;
    std::string tail;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        at = next_.offset;
        tail = tail_;
    }
    bool changed = false;
    if (error || size < at || (at > 0 && BytesBefore(path_, at) != tail)) {
        std::lock_guard<std::mutex> lock(mutex_);
        changed = next_.offset > 0 || summary_.lines > 0;
        StartOver();
        at = 0;
    }
    if (error || size == at) {
        std::lock_guard<std::mutex> lock(mutex_);
        changed = changed || summary_.reading;
        summary_.reading = false;
        return changed;
    }
    try {
        LineReader reader(path_, next_);
        std::unique_lock<std::mutex> lock(mutex_);
        std::size_t taken = 0;
        DataLine data;
        while (taken < mostLines) {
            const SplitLine* line = reader.Next();
            if (line == nullptr || !line->ended) {
                break; // a line being written is taken once it has ended
            }
            if (summary_.lines % kLinesPerMark == 0) {
                marks_.push_back(Mark{LineStart{line->number, line->offset}});
            }
            ++summary_.lines;
            next_ = reader.NextStart();
            ++taken;
            // A longer line keeps more than 255 characters, which the reader refuses.
            if (const char* problem = ParseDataLine(line->text, data)) {
                if (summary_.badLines++ == 0) {
                    summary_.firstBad = "line " + std::to_string(line->number) + ": " + problem + ": " +
                                        Excerpt(line->text, line->length);
                }
                continue;
            }
            if (chunks_.empty() || chunks_.back().dataLines == kLinesPerChunk) {
                chunks_.emplace_back();
                chunks_.back().start = LineStart{line->number, line->offset};
            }
            Chunk& chunk = chunks_.back();
            ++chunk.dataLines;
            const bool carries = !first_ && CarriesOn(end_, data);
            if (!carries) {
                chunk.Take(data.startTime, data.startPitch, false);
            }
            chunk.Take(data.startTime + data.span, data.endPitch, true);
            SampleTaker taker{end_, first_};
            summary_.samples += taker.Take(data, whole_);
            end_ = taker.end;
            first_ = false;
            Mark& mark = marks_.back();
            for (const double t : {data.startTime, data.startTime + data.span}) {
                if (!std::isfinite(t)) {
                    continue;
                }
                mark.low = mark.any ? std::min(mark.low, t) : t;
                mark.high = mark.any ? std::max(mark.high, t) : t;
                mark.any = true;
                summary_.timeLow = summary_.anyTime ? std::min(summary_.timeLow, t) : t;
                summary_.timeHigh = summary_.anyTime ? std::max(summary_.timeHigh, t) : t;
                summary_.anyTime = true;
                summary_.lastTime = t;
            }
            if (taken % kLinesPerMark == 0) {
                // Those who ask get their turn between batches.
                lock.unlock();
                std::this_thread::yield();
                lock.lock();
            }
        }
        summary_.reading = taken == mostLines;
        summary_.bytes = next_.offset;
        changed = changed || taken > 0;
        lock.unlock();
        if (taken > 0) {
            std::string bytes = BytesBefore(path_, next_.offset);
            lock.lock();
            tail_ = std::move(bytes);
        }
    } catch (const RecordsError&) {
        // Gone between the look and the read: the next pass sees it so.
    }
    return changed;
}

void RecordIndex::Chunk::Take(double time, double pitch, bool joined)
{
    if (!std::isfinite(time) || !std::isfinite(pitch)) {
        clean = false;
    }
    if (std::isfinite(time)) {
        timeLow = anyTime ? std::min(timeLow, time) : time;
        timeHigh = anyTime ? std::max(timeHigh, time) : time;
        anyTime = true;
    }
    if (!any) {
        any = true;
        firstJoined = joined;
        first = low = high = last = Sample{time, pitch};
        return;
    }
    if (!joined) {
        clean = false;
    }
    if (pitch < low.pitch) {
        low = Sample{time, pitch};
        lowFirst = false; // the lowest now comes after the highest
    }
    if (pitch > high.pitch) {
        high = Sample{time, pitch};
        lowFirst = true;
    }
    last = Sample{time, pitch};
}

RecordSummary RecordIndex::Summary() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return summary_;
}

std::vector<std::pair<LineStart, std::uint64_t>> RecordIndex::Spans(double from, double to) const
{
    std::vector<std::pair<LineStart, std::uint64_t>> spans;
    for (std::size_t i = 0; i < marks_.size(); ++i) {
        const Mark& mark = marks_[i];
        const std::uint64_t end = i + 1 < marks_.size() ? marks_[i + 1].start.offset : next_.offset;
        if (from <= to && !(mark.any && mark.low <= to && mark.high >= from)) {
            continue;
        }
        if (!spans.empty() && spans.back().second == mark.start.offset) {
            spans.back().second = end; // the run of marks goes on
        } else {
            spans.emplace_back(mark.start, end);
        }
    }
    return spans;
}

namespace {

// Each data line of the spans of `path`, in order; `onBreak` between spans.
template <typename OnLine>
void ReadSpans(const std::string& path, const std::vector<std::pair<LineStart, std::uint64_t>>& spans, OnLine&& onLine)
{
    DataLine data;
    for (const auto& [start, end] : spans) {
        LineReader reader(path, start);
        bool joined = false; // to the span before
        while (const SplitLine* line = reader.Next()) {
            if (line->offset >= end || !line->ended) {
                break;
            }
            if (ParseDataLine(line->text, data) == nullptr) {
                onLine(*line, data, joined);
                joined = true;
            }
        }
    }
}

} // namespace

ChartSeries RecordIndex::Range(double from, double to, int columns) const
{
    const std::string label = name_.fromName ? name_.vessel + ", stamp " + name_.stamp : std::string(BaseName(path_));
    std::unique_lock<std::mutex> lock(mutex_);
    if (from > to || !summary_.anyTime || (from <= summary_.timeLow && to >= summary_.timeHigh)) {
        SeriesReducer whole = whole_;
        lock.unlock();
        return whole.Take(label);
    }
    SeriesReducer series;
    if (columns <= 0) {
        const auto spans = Spans(from, to);
        lock.unlock();
        SampleTaker taker;
        ReadSpans(path_, spans, [&](const SplitLine&, const DataLine& line, bool joined) {
            if (!joined || !Meets(line, from, to)) {
                taker.first = true; // the line breaks where lines between are left out
            }
            if (Meets(line, from, to)) {
                taker.Take(line, series);
            }
        });
        return series.Take(label);
    }
    // What to do with each chunk that meets the range, in order: take its
    // summary, or read its lines (runs of such chunks read as one span), or
    // (for those between that do not meet it) break the line.
    struct Part {
        enum { Summarised, Read, Break } kind;
        Chunk chunk;            // Summary; Read: its first chunk
        std::uint64_t end = 0;  // Read: where the span ends
    };
    std::vector<Part> parts;
    const double narrow = (to - from) / (4.0 * columns);
    for (std::size_t i = 0; i < chunks_.size(); ++i) {
        const Chunk& c = chunks_[i];
        const std::uint64_t end = i + 1 < chunks_.size() ? chunks_[i + 1].start.offset : next_.offset;
        if (!c.anyTime || c.timeHigh < from || c.timeLow > to) {
            if (c.clean && (parts.empty() || parts.back().kind != Part::Break)) {
                parts.push_back(Part{Part::Break, Chunk(), 0});
            } else if (!c.clean) {
                parts.push_back(Part{Part::Read, c, end}); // its marks may lie on the edges
            }
            continue;
        }
        if (c.clean && c.timeLow >= from && c.timeHigh <= to && c.last.time - c.first.time <= narrow) {
            parts.push_back(Part{Part::Summarised, c, 0});
        } else if (!parts.empty() && parts.back().kind == Part::Read && parts.back().end == c.start.offset) {
            parts.back().end = end;
        } else {
            parts.push_back(Part{Part::Read, c, end});
        }
    }
    lock.unlock();
    bool contiguous = false; // the data line before was taken
    DataLine data;
    for (const Part& part : parts) {
        if (part.kind == Part::Break) {
            contiguous = false;
        } else if (part.kind == Part::Summarised) {
            const Chunk& c = part.chunk;
            const Sample inOrder[] = {c.first, c.lowFirst ? c.low : c.high, c.lowFirst ? c.high : c.low, c.last};
            series.Add(c.first.time, c.first.pitch, c.firstJoined && contiguous);
            for (std::size_t k = 1; k < 4; ++k) {
                if (inOrder[k].time != inOrder[k - 1].time || inOrder[k].pitch != inOrder[k - 1].pitch) {
                    series.Add(inOrder[k].time, inOrder[k].pitch, true);
                }
            }
            contiguous = true;
        } else {
            LineReader reader(path_, part.chunk.start);
            bool firstData = true;
            LineEnd end;
            while (const SplitLine* line = reader.Next()) {
                if (line->offset >= part.end || !line->ended) {
                    break;
                }
                if (ParseDataLine(line->text, data) != nullptr) {
                    continue;
                }
                const bool carries = firstData ? part.chunk.firstJoined && contiguous : contiguous && CarriesOn(end, data);
                firstData = false;
                if (!Meets(data, from, to)) {
                    contiguous = false;
                    continue;
                }
                if (!carries) {
                    series.Add(data.startTime, data.startPitch, false);
                }
                end.time = data.startTime + data.span;
                end.pitchText = data.endPitchText;
                series.Add(end.time, data.endPitch, true);
                contiguous = true;
            }
        }
    }
    return series.Take(label);
}

NearestLine RecordIndex::Nearest(double time) const
{
    NearestLine nearest;
    if (!std::isfinite(time)) {
        return nearest;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    auto spans = Spans(time, time);
    if (spans.empty()) {
        // No mark's lines reach the time: the mark nearest to it.
        double best = INFINITY;
        std::size_t chosen = marks_.size();
        for (std::size_t i = 0; i < marks_.size(); ++i) {
            if (!marks_[i].any) {
                continue;
            }
            const double distance = time < marks_[i].low ? marks_[i].low - time : time - marks_[i].high;
            if (distance < best) {
                best = distance;
                chosen = i;
            }
        }
        if (chosen < marks_.size()) {
            const std::uint64_t end = chosen + 1 < marks_.size() ? marks_[chosen + 1].start.offset : next_.offset;
            spans.emplace_back(marks_[chosen].start, end);
        }
    }
    lock.unlock();
    double best = INFINITY;
    ReadSpans(path_, spans, [&](const SplitLine& split, const DataLine& line, bool) {
        if (!std::isfinite(line.startTime)) {
            return;
        }
        const double end = line.startTime + line.span;
        const double distance = line.startTime <= time && time <= end
                                    ? 0
                                    : std::min(std::fabs(line.startTime - time), std::fabs(end - time));
        if (distance < best) {
            best = distance;
            nearest.found = true;
            nearest.number = split.number;
            nearest.text.assign(split.text.data(), split.text.size());
            nearest.start = line.startTime;
            nearest.startPitch = line.startPitch;
            nearest.endPitch = line.endPitch;
            nearest.span = line.span;
        }
    });
    return nearest;
}

void RecordIndex::EachLine(double from, double to, const std::function<void(const DataLine&)>& onLine) const
{
    std::unique_lock<std::mutex> lock(mutex_);
    const auto spans = Spans(from, to);
    lock.unlock();
    ReadSpans(path_, spans, [&](const SplitLine&, const DataLine& line, bool) {
        if (Meets(line, from, to)) {
            onLine(line);
        }
    });
}

std::vector<ChartPoint> PerColumn(const std::vector<ChartPoint>& line, double from, double to, int columns)
{
    columns = std::max(columns, 1);
    if (line.size() <= 4 * static_cast<std::size_t>(columns) || !(to > from)) {
        return line;
    }
    const double scale = columns / (to - from);
    // Points left or right of the range count as one column each side.
    auto column = [&](double time) {
        return static_cast<long long>(std::clamp(std::floor((time - from) * scale), -1.0, double(columns)));
    };
    std::vector<ChartPoint> out;
    std::size_t begin = 0;
    while (begin < line.size()) {
        const long long here = column(line[begin].time);
        std::size_t end = begin + 1;
        std::size_t low = begin, high = begin;
        while (end < line.size() && line[end].joined && column(line[end].time) == here) {
            if (line[end].pitch < line[low].pitch) {
                low = end;
            }
            if (line[end].pitch > line[high].pitch) {
                high = end;
            }
            ++end;
        }
        std::size_t picks[] = {begin, low, high, end - 1};
        std::sort(std::begin(picks), std::end(picks));
        const std::size_t* last = std::unique(std::begin(picks), std::end(picks));
        for (const std::size_t* pick = picks; pick != last; ++pick) {
            ChartPoint point = line[*pick];
            point.joined = *pick == begin ? line[begin].joined : true;
            out.push_back(point);
        }
        begin = end;
    }
    return out;
}
