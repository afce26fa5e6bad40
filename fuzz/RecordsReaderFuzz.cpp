// kestrel-records' reader held, on arbitrary bytes, to the reader it
// replaced (ReferenceReader.h: a line copied byte by byte, each separator
// searched for, each number checked on its own).
//
// The input is a file. Its lines must come out the same from the reference
// taking it whole, from the splitter taking it in chunks of a size the first
// byte picks, and from the file reader reading it in blocks of a size the
// second byte picks, from the start and from the start of a line the third
// byte picks: numbers, full lengths, kept texts, offsets (found here by
// counting line ends) and whether a line end closed each. Each line must
// get the reference's verdict, the same fields and the same values; times
// and spans in tenths as their digits say.
// The scan of the whole file must give the reference's counts, first bad
// line and message, pitch range and lines not finite, and times exactly as
// a 128-bit count of tenths adds them up.
#include "fuzz/ReferenceReader.h"
#include "kestrel-records/reading/DataLine.h"
#include "kestrel-records/reading/LineReader.h"
#include "kestrel-records/reading/LineSplitter.h"
#include "kestrel-records/reading/RecordFile.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

struct Line {
    std::size_t number;
    std::size_t length;
    std::string text;
    std::uint64_t offset;
    bool ended;
    bool operator==(const Line&) const = default;
};

[[noreturn]] void Fail(const char* what, std::string_view line)
{
    std::fprintf(stderr, "%s: \"%.*s\"\n", what, static_cast<int>(line.size()), line.data());
    std::abort();
}

bool SameValue(double a, double b)
{
    return (std::isnan(a) && std::isnan(b)) || (a == b && std::signbit(a) == std::signbit(b));
}

// The reference's lines, with the offset of each: 0, then one past each
// line end.
std::vector<Line> ReferenceLines(std::string_view bytes)
{
    std::vector<std::uint64_t> starts = {0};
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n') {
            starts.push_back(i + 1);
        }
    }
    std::vector<Line> lines;
    reference::LineSplitter splitter;
    auto onLine = [&](const reference::SplitLine& line) {
        // A line has ended when a line end follows it.
        lines.push_back(Line{line.number, line.length, std::string(line.text), starts[line.number - 1],
                             line.number < starts.size()});
    };
    splitter.Feed(bytes, onLine);
    splitter.Finish(onLine);
    return lines;
}

std::vector<Line> SplitInChunks(std::string_view bytes, std::size_t chunk)
{
    std::vector<Line> lines;
    LineSplitter splitter;
    auto onLine = [&](const SplitLine& line) {
        lines.push_back(Line{line.number, line.length, std::string(line.text), line.offset, line.ended});
    };
    for (std::size_t at = 0; at < bytes.size(); at += chunk) {
        splitter.Feed(bytes.substr(at, chunk), onLine);
    }
    splitter.Finish(onLine);
    if (splitter.NextStart().offset != bytes.size()) {
        Fail("the splitter ends elsewhere than the bytes", bytes.substr(0, 80));
    }
    return lines;
}

std::vector<Line> ReadFile(const std::string& path, LineStart start, std::size_t block, std::size_t size,
                           std::size_t count)
{
    std::vector<Line> lines;
    LineReader reader(path, start, block);
    while (const SplitLine* line = reader.Next()) {
        lines.push_back(Line{line->number, line->length, std::string(line->text), line->offset, line->ended});
    }
    if (reader.Next() != nullptr || reader.NextStart().offset != size || reader.NextStart().number != count + 1) {
        Fail("the reader ends elsewhere than the file", path);
    }
    return lines;
}

// A time or span in tenths, as its digits say, when it is finite and has
// at most 36 digits.
std::optional<__int128> Tenths(std::string_view text)
{
    if (text == "inf" || text == "-inf" || text == "nan") {
        return std::nullopt;
    }
    const bool negative = text[0] == '-';
    __int128 tenths = 0;
    int digits = 0;
    for (const char c : text.substr(negative ? 1 : 0)) {
        if (c != '.') {
            if (++digits > 36) {
                return std::nullopt;
            }
            tenths = tenths * 10 + (c - '0');
        }
    }
    return negative ? -tenths : tenths;
}

std::string TenthsText(__int128 tenths)
{
    const bool negative = tenths < 0;
    unsigned __int128 size = negative ? static_cast<unsigned __int128>(-tenths) : static_cast<unsigned __int128>(tenths);
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(size % 10)));
        size /= 10;
    } while (size > 0);
    if (digits.size() < 2) {
        digits.insert(digits.begin(), '0');
    }
    digits.insert(digits.end() - 1, '.');
    return (negative ? "-" : "") + digits;
}

void CheckFields(const DataLine& got, const reference::DataLine& wanted, std::string_view line)
{
    const std::string_view texts[][2] = {{got.startTimeText, wanted.startTimeText},
                                         {got.startPitchText, wanted.startPitchText},
                                         {got.endPitchText, wanted.endPitchText},
                                         {got.spanText, wanted.spanText}};
    for (const auto& pair : texts) {
        if (pair[0].data() != pair[1].data() || pair[0].size() != pair[1].size()) {
            Fail("a field other than the reference's", line);
        }
    }
    if (!SameValue(got.startTime, wanted.startTime) || !SameValue(got.startPitch, wanted.startPitch) ||
        !SameValue(got.endPitch, wanted.endPitch) || !SameValue(got.span, wanted.span)) {
        Fail("a value other than the reference's", line);
    }
    for (const auto& [tenths, text] : {std::pair{got.startTimeTenths, got.startTimeText}, std::pair{got.spanTenths, got.spanText}}) {
        const std::optional<__int128> wantedTenths = Tenths(text);
        const bool held = wantedTenths && *wantedTenths > -1000000000000000000 && *wantedTenths < 1000000000000000000;
        if (held ? tenths != *wantedTenths : tenths != kNoTenths) {
            Fail("tenths other than the digits say", line);
        }
    }
}

// The former scan of a file, over the reference's verdicts, with the
// times exactly in tenths while they fit.
struct ReferenceScan {
    FileScan scan;
    bool timesHeld = true;
    bool anyTime = false;
    __int128 earliest = 0, latest = 0;
    std::string earliestText, latestText;

    void TakeTime(__int128 tenths, std::string text)
    {
        if (!anyTime || tenths < earliest) {
            earliest = tenths;
            earliestText = text;
        }
        if (!anyTime || tenths > latest) {
            latest = tenths;
            latestText = text;
        }
        anyTime = true;
    }

    void Take(const Line& line, const reference::DataLine* data)
    {
        ++scan.lines;
        if (data == nullptr) {
            if (scan.badLines++ == 0) {
                scan.firstBadLine = line.number;
                scan.firstBadExcerpt = Excerpt(line.text, line.length);
            }
            return;
        }
        if (std::isfinite(data->startTime)) {
            const std::optional<__int128> start = Tenths(data->startTimeText);
            const std::optional<__int128> span = Tenths(data->spanText);
            if (!start || (std::isfinite(data->span) && !span)) {
                timesHeld = false;
            } else {
                TakeTime(*start, std::string(data->startTimeText));
                if (std::isfinite(data->span)) {
                    TakeTime(*start + *span, TenthsText(*start + *span));
                }
            }
        }
        if (!std::isfinite(data->startTime) || !std::isfinite(data->startPitch) || !std::isfinite(data->endPitch) ||
            !std::isfinite(data->span)) {
            ++scan.linesNotFinite;
        }
        const std::pair<double, std::string_view> pitches[] = {{data->startPitch, data->startPitchText},
                                                               {data->endPitch, data->endPitchText}};
        for (const auto& [pitch, text] : pitches) {
            if (!std::isfinite(pitch)) {
                continue;
            }
            if (!scan.anyPitch || pitch < scan.lowestPitch) {
                scan.lowestPitch = pitch;
                scan.lowestPitchText = text;
            }
            if (!scan.anyPitch || pitch > scan.highestPitch) {
                scan.highestPitch = pitch;
                scan.highestPitchText = text;
            }
            scan.anyPitch = true;
        }
    }
};

void CheckScan(const FileScan& got, const ReferenceScan& wanted, std::string_view bytes)
{
    const FileScan& w = wanted.scan;
    if (got.lines != w.lines || got.badLines != w.badLines || got.firstBadLine != w.firstBadLine ||
        got.firstBadExcerpt != w.firstBadExcerpt || got.linesNotFinite != w.linesNotFinite ||
        got.anyPitch != w.anyPitch) {
        Fail("a scan that counts otherwise than the reference", bytes.substr(0, 80));
    }
    if (got.badLines > 0 && got.firstBadProblem != w.firstBadProblem) {
        Fail("a first bad line named otherwise than the reference", bytes.substr(0, 80));
    }
    if (got.anyPitch && (got.lowestPitchText != w.lowestPitchText || got.highestPitchText != w.highestPitchText ||
                         !SameValue(got.lowestPitch, w.lowestPitch) || !SameValue(got.highestPitch, w.highestPitch))) {
        Fail("a pitch range other than the reference's", bytes.substr(0, 80));
    }
    if (wanted.timesHeld &&
        (got.anyTime != wanted.anyTime ||
         (got.anyTime && (got.earliestText != wanted.earliestText || got.latestText != wanted.latestText)))) {
        std::fprintf(stderr, "got %s to %s, wanted %s to %s\n", got.earliestText.c_str(), got.latestText.c_str(),
                     wanted.earliestText.c_str(), wanted.latestText.c_str());
        Fail("a time range other than the lines add up to", bytes.substr(0, 80));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::vector<Line> lines = ReferenceLines(bytes);

    if (SplitInChunks(bytes, size > 0 ? 1 + data[0] % 64 : 1) != lines ||
        SplitInChunks(bytes, bytes.size() + 1) != lines) {
        Fail("the splitter's lines are not the reference's", bytes.substr(0, 80));
    }
    // The fuzzer runs in a scratch folder of its own.
    const std::string path = "records-reader-input.txt";
    {
        std::FILE* file = std::fopen(path.c_str(), "wb");
        if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() ||
            std::fclose(file) != 0) {
            Fail("cannot write the input file", path);
        }
    }
    const std::size_t block = size > 1 ? 8 + data[1] % 320 : 8;
    if (ReadFile(path, {}, block, size, lines.size()) != lines) {
        Fail("the file reader's lines are not the reference's", bytes.substr(0, 80));
    }
    if (!lines.empty()) {
        const std::size_t from = size > 2 ? data[2] % lines.size() : 0;
        const std::vector<Line> rest(lines.begin() + static_cast<std::ptrdiff_t>(from), lines.end());
        if (ReadFile(path, {lines[from].number, lines[from].offset}, block, size, lines.size()) != rest) {
            Fail("the file reader's lines from a line's start are not the reference's", bytes.substr(0, 80));
        }
    }

    FileScanner scanner;
    ReferenceScan wanted;
    for (const Line& line : lines) {
        // A copy of the line's exact size: a read past its end is one past
        // the allocation, which AddressSanitizer stops.
        const std::unique_ptr<char[]> exact(new char[line.text.size()]);
        std::memcpy(exact.get(), line.text.data(), line.text.size());
        const std::string_view text(exact.get(), line.text.size());
        DataLine got;
        reference::DataLine expected;
        const char* problem = ParseDataLine(text, got);
        const char* expectedProblem = reference::ParseDataLine(text, expected);
        if ((problem == nullptr) != (expectedProblem == nullptr) ||
            (problem != nullptr && std::strcmp(problem, expectedProblem) != 0)) {
            std::fprintf(stderr, "%s\nwhere the reference says\n%s\n", problem ? problem : "a data line",
                         expectedProblem ? expectedProblem : "a data line");
            Fail("a verdict other than the reference's", text);
        }
        if (problem == nullptr) {
            CheckFields(got, expected, text);
        }
        SplitLine split{line.number, line.length, text, line.offset, line.ended};
        if ((scanner.Take(split) == nullptr) != (problem != nullptr)) {
            Fail("the scanner takes a line otherwise than the reader", line.text);
        }
        wanted.Take(line, problem == nullptr ? &expected : nullptr);
        if (problem != nullptr && wanted.scan.badLines == 1) {
            wanted.scan.firstBadProblem = expectedProblem;
        }
    }
    CheckScan(scanner.Done(), wanted, bytes);
    return 0;
}
