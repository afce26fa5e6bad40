// Cuts the bytes of a file into lines, however they arrive, in memory that
// does not grow with the length of a line. The bytes come in blocks: a line
// that lies inside one block is handed on as a view of it, never copied;
// only a line that runs on from one block into the next is put together,
// and of it only its first kKeptLineBytes bytes, which is more than any
// data line holds. Either way a line's full length is counted.
//
// Each line carries its number and the offset of its first byte, so that a
// reader may note where lines begin and later begin there again.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

inline constexpr std::size_t kKeptLineBytes = 300;

// Where a line begins: its number (from 1) and the offset of its first byte
// from the start of the file.
struct LineStart {
    std::size_t number = 1;
    std::uint64_t offset = 0;
};

struct SplitLine {
    std::size_t number = 0;   // from 1
    std::size_t length = 0;   // the line's full length, without its line end
    std::string_view text;    // its first min(length, kKeptLineBytes) bytes
    std::uint64_t offset = 0; // where its first byte lies in the file
    // false: the bytes ended before the line did (the last line of a file
    // without a line end at its end, or one still being written): who reads
    // on later, once more is written, begins again at this line's start.
    bool ended = true;
};

class LineSplitter {
public:
    LineSplitter() = default;
    // Bytes that begin at a line's start: the line there is `start`.
    explicit LineSplitter(LineStart start) : next_(start) {}
    LineSplitter(const LineSplitter&) = delete;
    LineSplitter& operator=(const LineSplitter&) = delete;

    // The bytes that come next, after every line of the bytes before has
    // been taken (Next gave nullptr). They must stay where they are while
    // their lines are taken: a line's text may be a view of them.
    void Give(std::string_view bytes)
    {
        at_ = bytes.data();
        end_ = at_ + bytes.size();
    }

    // The next line the bytes given so far complete, valid until the next
    // call; nullptr once the bytes are used up (what is left of them begins
    // a line that the next bytes go on with).
    const SplitLine* Next()
    {
        if (at_ == end_) {
            return nullptr;
        }
        const auto* lineEnd = static_cast<const char*>(std::memchr(at_, '\n', static_cast<std::size_t>(end_ - at_)));
        if (lineEnd == nullptr) {
            Keep(at_, end_);
            at_ = end_;
            return nullptr;
        }
        const char* begin = at_;
        at_ = lineEnd + 1;
        if (keptLength_ > 0) {
            Keep(begin, lineEnd);
            return EndKept(1);
        }
        auto length = static_cast<std::size_t>(lineEnd - begin);
        // "\r\n" ends a line as "\n" does: files copied from Windows read alike.
        const std::size_t bytes = length + 1;
        if (length > 0 && lineEnd[-1] == '\r') {
            --length;
        }
        line_.number = next_.number;
        line_.length = length;
        line_.text = std::string_view(begin, std::min(length, kKeptLineBytes));
        line_.offset = next_.offset;
        line_.ended = true;
        ++next_.number;
        next_.offset += bytes;
        return &line_;
    }

    // The last line, when the bytes did not end with a line end; otherwise
    // nullptr.
    const SplitLine* Last() { return keptLength_ > 0 ? EndKept(0) : nullptr; }

    // Hands each line that `bytes` completes to onLine(const SplitLine&).
    template <typename OnLine>
    void Feed(std::string_view bytes, OnLine&& onLine)
    {
        Give(bytes);
        while (const SplitLine* line = Next()) {
            onLine(*line);
        }
    }

    // The last line, when the bytes did not end with a line end.
    template <typename OnLine>
    void Finish(OnLine&& onLine)
    {
        if (const SplitLine* line = Last()) {
            onLine(*line);
        }
    }

    // Where the line that the next bytes complete begins.
    LineStart NextStart() const { return next_; }

private:
    // The part of a line that the bytes given so far hold.
    void Keep(const char* begin, const char* end)
    {
        const auto size = static_cast<std::size_t>(end - begin);
        if (size == 0) {
            return;
        }
        const std::size_t taken = std::min(size, kKeptLineBytes - keptSize_);
        std::memcpy(kept_ + keptSize_, begin, taken);
        keptSize_ += taken;
        keptLength_ += size;
        lastWasCarriageReturn_ = end[-1] == '\r';
    }

    const SplitLine* EndKept(std::size_t lineEndBytes)
    {
        const std::size_t length = keptLength_ - (lastWasCarriageReturn_ ? 1 : 0);
        line_.number = next_.number;
        line_.length = length;
        line_.text = std::string_view(kept_, std::min(length, keptSize_));
        line_.offset = next_.offset;
        line_.ended = lineEndBytes > 0;
        ++next_.number;
        next_.offset += keptLength_ + lineEndBytes;
        keptSize_ = 0;
        keptLength_ = 0;
        lastWasCarriageReturn_ = false;
        return &line_;
    }

    const char* at_ = nullptr;
    const char* end_ = nullptr;
    LineStart next_;
    SplitLine line_;
    // A line that runs on into bytes not yet given: its first bytes, its
    // length so far (line end excluded) and whether it ends in '\r' so far.
    char kept_[kKeptLineBytes] = {};
    std::size_t keptSize_ = 0;
    std::size_t keptLength_ = 0;
    bool lastWasCarriageReturn_ = false;
};
