// A data file of the module: its name, "<vessel>_<stamp>.txt", and its lines.
#pragma once

#include "kestrel-records/reading/DataLine.h"
#include "kestrel-records/reading/LineReader.h"
#include "kestrel-records/reading/TimeRange.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

struct RecordName {
    std::string vessel; // as in the file name: characters a file name cannot hold are '_' there
    std::string stamp;  // the computer clock's Modified Julian Date × 10000, as printed
    bool fromName = false; // false: the name is not <vessel>_<stamp>.txt, so the
                           // vessel is the whole name without ".txt" and the stamp empty
};

// The last part of a path ('/' separates folders; '\\' too on Windows).
std::string_view BaseName(std::string_view path);
// Vessel and stamp from a data file's name (the last part of `path`).
RecordName ParseRecordName(std::string_view path);

// Calls onLine for each line of the file at `path`, in order. Throws
// RecordsError naming the file when it cannot be opened or read (a folder,
// a missing file, a read error).
void ReadLines(const std::string& path, const std::function<void(const SplitLine&)>& onLine);

// A line as a message shows it: cut to 80 characters ("..." marks the
// cut), bytes that are not printable ASCII as \xNN, in double quotes.
std::string Excerpt(std::string_view text, std::size_t length);

// What one pass over a file found.
struct FileScan {
    std::size_t lines = 0;
    std::size_t badLines = 0;
    std::size_t firstBadLine = 0; // 0: none
    std::string firstBadProblem;
    std::string firstBadExcerpt;
    // Over the finite values: the times the lines span (start, and start +
    // span), also exactly as printed (TimeRange), and the pitches, these as
    // printed.
    bool anyTime = false;
    double earliest = 0;
    double latest = 0;
    std::string earliestText;
    std::string latestText;
    bool anyPitch = false;
    double lowestPitch = 0;
    double highestPitch = 0;
    std::string lowestPitchText;
    std::string highestPitchText;
    std::size_t linesNotFinite = 0; // lines with inf, -inf or nan in them
};

// Takes a file's lines one by one into what a pass over it finds.
class FileScanner {
public:
    // The line's data when it is a data line (valid until the next call);
    // otherwise nullptr, and the line is counted as bad.
    const DataLine* Take(const SplitLine& line);
    // What the lines taken showed.
    FileScan Done();

private:
    // A pitch as printed, kept here until the end rather than in a string
    // that each new lowest or highest pitch would be copied into.
    struct PitchText {
        char bytes[kLongestDataLine];
        std::size_t size = 0;
    };

    FileScan scan_;
    TimeRange times_;
    DataLine data_;
    PitchText lowest_;
    PitchText highest_;
};

// Reads the whole file, calling onData(const DataLine&) for each data line.
template <typename OnData>
FileScan ScanFile(const std::string& path, OnData&& onData)
{
    LineReader lines(path);
    FileScanner scanner;
    while (const SplitLine* line = lines.Next()) {
        if (const DataLine* data = scanner.Take(*line)) {
            onData(*data);
        }
    }
    return scanner.Done();
}

FileScan ScanFile(const std::string& path);

// "<path>:<line>: <problem>: <excerpt>" for the scan's first bad line.
std::string FirstBadLineMessage(const std::string& path, const FileScan& scan);
