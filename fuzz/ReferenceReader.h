// kestrel-records' reader as it was before it read in blocks: a line copied
// byte by byte, its form found by searching for each separator, then each
// number checked and read by itself. Slow and plain; the differential fuzz
// target holds the reader of today to the same lines, verdicts, numbers
// and messages.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace reference {

inline constexpr std::size_t kKeptLineBytes = 300;
inline constexpr std::size_t kLongestDataLine = 255;

struct SplitLine {
    std::size_t number = 0;  // from 1
    std::size_t length = 0;  // the line's full length, without its line end
    std::string_view text;   // its first min(length, kKeptLineBytes) bytes
};

class LineSplitter {
public:
    template <typename OnLine>
    void Feed(std::string_view bytes, OnLine&& onLine)
    {
        for (const char c : bytes) {
            if (c == '\n') {
                EndLine(onLine);
            } else {
                if (kept_.size() < kKeptLineBytes) {
                    kept_.push_back(c);
                }
                ++length_;
                lastWasCarriageReturn_ = c == '\r';
            }
        }
    }

    template <typename OnLine>
    void Finish(OnLine&& onLine)
    {
        if (length_ > 0) {
            EndLine(onLine);
        }
    }

private:
    template <typename OnLine>
    void EndLine(OnLine& onLine)
    {
        if (lastWasCarriageReturn_) {
            if (kept_.size() == length_) {
                kept_.pop_back();
            }
            --length_;
        }
        ++number_;
        onLine(SplitLine{number_, length_, std::string_view(kept_).substr(0, length_)});
        kept_.clear();
        length_ = 0;
        lastWasCarriageReturn_ = false;
    }

    std::string kept_;
    std::size_t length_ = 0;
    std::size_t number_ = 0;
    bool lastWasCarriageReturn_ = false;
};

struct DataLine {
    std::string_view startTimeText;
    std::string_view startPitchText;
    std::string_view endPitchText;
    std::string_view spanText;
    double startTime = 0;
    double startPitch = 0;
    double endPitch = 0;
    double span = 0;
};

// nullptr for a data line, else what is wrong with it.
const char* ParseDataLine(std::string_view line, DataLine& out);

} // namespace reference
