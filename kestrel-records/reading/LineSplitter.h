// Cuts the bytes of a file into lines, however they arrive, in memory that
// does not grow with the length of a line: of each line only its first
// kKeptLineBytes bytes are kept, which is more than any data line holds.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

inline constexpr std::size_t kKeptLineBytes = 300;

struct SplitLine {
    std::size_t number = 0;  // from 1
    std::size_t length = 0;  // the line's full length, without its line end
    std::string_view text;   // its first min(length, kKeptLineBytes) bytes
};

class LineSplitter {
public:
    // Hands each line that `bytes` completes to onLine(const SplitLine&).
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

    // The last line, when the bytes did not end with a line end.
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
        // "\r\n" ends a line as "\n" does: files copied from Windows read alike.
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
