// The lines of one file, read from start to end in blocks of kReadBlock
// bytes: memory stays bounded however long the file or its lines are, and a
// pipe or a FIFO reads as a file does. Each line comes with its number and
// the offset of its first byte in the file; reading may also begin at any
// line's start (a file, not a pipe), e.g. one noted on an earlier pass.
// "-" names standard input, as "-o -" names standard output.
#pragma once

#include "kestrel-records/reading/LineSplitter.h"

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

inline constexpr std::size_t kReadBlock = 1 << 18;

// The name that stands for standard input.
inline constexpr std::string_view kStandardInput = "-";

// A file to read as messages name it: "standard input" for "-", any other
// name escaped (ShownText.h).
std::string ShownInput(std::string_view path);

class LineReader {
public:
    // Opens the file at `path` and, when `start` is not the file's start,
    // moves to it: the first line read is numbered start.number and begins
    // at byte start.offset (which must be a line's start). Throws
    // RecordsError naming the file when it cannot be opened or moved in.
    // (`block`: the bytes read at a time, kReadBlock but where a test
    // wants lines to cross many blocks.)
    explicit LineReader(const std::string& path, LineStart start = {}, std::size_t block = kReadBlock);
    ~LineReader();
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    // The next line, valid until the next call; nullptr at the end of the
    // file. Throws RecordsError naming the file when it cannot be read.
    const SplitLine* Next()
    {
        if (const SplitLine* line = splitter_.Next()) {
            return line;
        }
        return ReadOn();
    }

    // Where the next line begins (once Next gave nullptr: the line after the
    // file's last, its offset the file's size). To read on in a file that
    // grows, begin there; or, when the last line had not ended
    // (SplitLine::ended), at that line's start.
    LineStart NextStart() const { return splitter_.NextStart(); }

private:
    const SplitLine* ReadOn();

    std::string path_;
    std::FILE* file_ = nullptr;
    std::unique_ptr<char[]> block_;
    std::size_t blockSize_;
    LineSplitter splitter_;
    bool atEnd_ = false;
    int readError_ = 0; // errno after the last read
    bool finished_ = false;
    bool ownsFile_ = true; // standard input stays open
};
