// One data file as the watch server follows it, of any length, in memory that
// does not grow with it: a sparse index (where every kLinesPerMark-th line
// begins, and the range of times of the lines from there to the next mark)
// and the whole file's series reduced as `plot` reduces it. Only whole lines
// are taken: a line still being written is taken once its line end is there.
// A file that shrinks, or whose bytes before the point read to change (it was
// replaced or rewritten), is read again from its start.
//
// One thread reads on (ReadOn); any number ask at the same time. What they
// are given is consistent with the lines indexed so far: a range is read
// from the file only up to the end of the last line taken.
#pragma once

#include "kestrel-records/charts/Chart.h"
#include "kestrel-records/charts/SeriesReducer.h"
#include "kestrel-records/reading/Continuity.h"
#include "kestrel-records/reading/LineSplitter.h"
#include "kestrel-records/reading/RecordFile.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

inline constexpr std::size_t kLinesPerMark = 65536;
// A wide range is drawn from what each run of this many data lines keeps of
// its samples (first, last, lowest, highest), once such a run spans no more
// than a quarter of a pixel column: the file is then read only at the
// range's ends.
inline constexpr std::size_t kLinesPerChunk = 512;

// What the file list shows of a file.
struct RecordSummary {
    std::uint64_t generation = 0; // counts the times the file was read again from its start
    std::size_t lines = 0;        // whole lines taken
    std::uint64_t bytes = 0;      // up to the end of the last of them
    std::size_t badLines = 0;
    std::string firstBad; // "line N: <problem>: <excerpt>", as check names it; "" for none
    std::size_t samples = 0;
    // Over the finite times: the earliest and latest (low > high: none).
    double timeLow = 0;
    double timeHigh = 0;
    bool anyTime = false;
    double lastTime = 0; // the end of the last data line whose times are finite
    bool reading = false; // more is there than has been read so far
};

// The line nearest to a time.
struct NearestLine {
    bool found = false;
    std::size_t number = 0;
    std::string text; // exactly as the file holds it, line end excluded
    double start = 0, startPitch = 0, endPitch = 0, span = 0;
};

class RecordIndex {
public:
    explicit RecordIndex(std::string path);
    RecordIndex(const RecordIndex&) = delete;
    RecordIndex& operator=(const RecordIndex&) = delete;

    const std::string& Path() const { return path_; }
    const RecordName& Name() const { return name_; }

    // Takes the whole lines written since the last call, at most `mostLines`
    // of them (the rest on the next call): true when anything changed. A
    // file that cannot be read (gone, a folder by now) is taken as empty.
    bool ReadOn(std::size_t mostLines = static_cast<std::size_t>(-1));

    RecordSummary Summary() const;

    // The series of the lines that meet [from, to] (from > to: every line),
    // each line's samples as plot takes them; for the whole file, the
    // reduction kept as lines arrive. With `columns` (> 0), for a chart that
    // wide: where runs of kLinesPerChunk lines fit a quarter column, their
    // first, last, lowest and highest samples stand for them.
    ChartSeries Range(double from, double to, int columns = 0) const;
    // The line whose span holds `time`, or the one whose start or end lies
    // nearest to it.
    NearestLine Nearest(double time) const;
    // Each data line that meets [from, to] (from > to: every line), in order.
    void EachLine(double from, double to, const std::function<void(const DataLine&)>& onLine) const;

private:
    struct Mark {
        LineStart start;
        double low = 0, high = 0; // finite times of the lines from here to the next mark
        bool any = false;
    };
    struct Sample {
        double time = 0, pitch = 0;
    };
    // What a run of kLinesPerChunk data lines keeps of its samples.
    struct Chunk {
        LineStart start; // of its first data line
        Sample first, low, high, last;
        bool lowFirst = true;
        bool firstJoined = false; // its first sample goes on from the chunk before's last
        bool clean = true;        // every sample finite, and joined to the one before
        bool any = false;         // a sample taken
        double timeLow = 0, timeHigh = 0; // over the finite times
        bool anyTime = false;
        std::size_t dataLines = 0;
        void Take(double time, double pitch, bool joined);
    };
    // Where to read for the lines that meet [from, to]: runs of marks as
    // (start, end offset).
    std::vector<std::pair<LineStart, std::uint64_t>> Spans(double from, double to) const;
    void StartOver();
    bool SameBytesBefore(std::FILE* file) const;

    std::string path_;
    RecordName name_;

    mutable std::mutex mutex_;
    RecordSummary summary_;
    std::vector<Mark> marks_;
    LineStart next_;      // where the line after the last taken begins
    std::string tail_;    // the last bytes before next_.offset, to tell a rewritten file
    std::vector<Chunk> chunks_; // the last one still filling
    SeriesReducer whole_; // every sample, reduced
    LineEnd end_;         // of the last data line, for continuity
    bool first_ = true;   // no data line yet
};

// A series' line brought down to at most four points (first, last, lowest
// and highest) per pixel column of [from, to] and run of the line, as the
// chart's own bins do: nothing changes where there are no more points than
// four per column.
std::vector<ChartPoint> PerColumn(const std::vector<ChartPoint>& line, double from, double to, int columns);
