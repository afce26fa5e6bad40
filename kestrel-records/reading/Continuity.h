// Whether a data line goes on from the line before it in the same file.
#pragma once

#include "kestrel-records/reading/DataLine.h"

#include <cstddef>
#include <cstring>
#include <string_view>

// A pitch as a line prints it, held in place: taking each line's in turn
// allocates nothing.
class PitchText {
public:
    PitchText() = default;
    PitchText(std::string_view text) { *this = text; }
    PitchText(const char* text) : PitchText(std::string_view(text)) {}
    PitchText& operator=(std::string_view text)
    {
        // A field of a data line is shorter than the line.
        size_ = text.size() < sizeof bytes_ ? text.size() : sizeof bytes_;
        std::memcpy(bytes_, text.data(), size_);
        return *this;
    }
    std::string_view View() const { return std::string_view(bytes_, size_); }
    bool operator==(std::string_view text) const
    {
        return text.size() == size_ && std::memcmp(text.data(), bytes_, size_) == 0;
    }

private:
    char bytes_[kLongestDataLine];
    std::size_t size_ = 0;
};

// The end of the line before: its start + span, and its second pitch as printed.
struct LineEnd {
    double time = 0;
    PitchText pitchText;
};

// A line carries on from the one before when it starts with that line's
// second pitch, at its end time. The times are compared within what their
// printing rounds away (0.05 s each, and 17 significant digits), since the
// file holds rounded values only. A file that an earlier run appended to,
// or that a scenario renamed to, holds more than one such run of lines.
bool CarriesOn(const LineEnd& before, const DataLine& line);
