// kestrel-records' line reader on arbitrary bytes, and on every line the
// module's own formatter writes.
//
// The input is a file: it is cut into lines in chunks of a size the first
// byte picks and again all at once, which must give the same lines. Every
// line the reader takes must be rebuilt exactly from its four fields, each
// no longer than a line may be and read as strtod reads it. The first 36
// bytes are also four values (9 bytes each: a kind, then any double, inf,
// -inf, nan or -0.0, hundredths, or a few digits at any magnitude): the
// line the module writes for them (when it fits and its span is above zero,
// as the module requires) must be taken, and read back as the same values.
#include "kestrel-records/reading/DataLine.h"
#include "kestrel-records/reading/LineSplitter.h"
#include "recorder/RecordFile.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Seen {
    std::size_t number;
    std::size_t length;
    std::string text;
    bool operator==(const Seen&) const = default;
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

void CheckField(std::string_view text, double value, std::string_view line)
{
    if (text == "nan") {
        if (!std::isnan(value)) {
            Fail("nan read as a number", line);
        }
        return;
    }
    const std::string copy(text);
    char* end = nullptr;
    const double reference = std::strtod(copy.c_str(), &end);
    if (end != copy.c_str() + copy.size() || !SameValue(reference, value)) {
        Fail("a field read otherwise than strtod reads it", line);
    }
}

void CheckLine(std::string_view line)
{
    DataLine data;
    if (ParseDataLine(line, data) != nullptr) {
        return;
    }
    const std::string rebuilt = std::string(data.startTimeText) + "=pitch(" + std::string(data.startPitchText) + ", " +
                                std::string(data.endPitchText) + ", " + std::string(data.spanText) + ")";
    if (rebuilt != line || line.size() > kLongestDataLine) {
        Fail("a line taken that is not its fields", line);
    }
    CheckField(data.startTimeText, data.startTime, line);
    CheckField(data.startPitchText, data.startPitch, line);
    CheckField(data.endPitchText, data.endPitch, line);
    CheckField(data.spanText, data.span, line);
    if (!(data.span >= 0)) {
        Fail("a line taken whose span is below zero or nan", line);
    }
}

std::vector<Seen> Split(std::string_view bytes, std::size_t chunk)
{
    std::vector<Seen> lines;
    LineSplitter splitter;
    auto onLine = [&](const SplitLine& line) {
        if (line.text.size() > kKeptLineBytes || line.text.size() > line.length) {
            Fail("a line kept longer than it is or than the limit", line.text);
        }
        lines.push_back(Seen{line.number, line.length, std::string(line.text)});
    };
    for (std::size_t at = 0; at < bytes.size(); at += chunk) {
        splitter.Feed(bytes.substr(at, chunk), onLine);
    }
    splitter.Finish(onLine);
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::size_t chunk = size > 0 ? 1 + data[0] % 64 : 1;
    const std::vector<Seen> lines = Split(bytes, chunk);
    if (lines != Split(bytes, bytes.size() + 1)) {
        Fail("lines depend on how the bytes arrive", bytes.substr(0, 80));
    }
    for (const Seen& line : lines) {
        if (line.length <= kLongestDataLine) {
            CheckLine(line.text);
        }
    }

    if (size >= 36) {
        double values[4];
        for (int i = 0; i < 4; ++i) {
            const std::uint8_t* field = data + 9 * i;
            std::int32_t n = 0;
            std::memcpy(&n, field + 1, sizeof n);
            switch (field[0] % 4) {
            case 0: // any double
                std::memcpy(&values[i], field + 1, sizeof values[i]);
                break;
            case 1: { // what the pitch query may give besides numbers
                constexpr double kSpecial[] = {INFINITY, -INFINITY, NAN, -0.0};
                values[i] = kSpecial[field[1] % 4];
                break;
            }
            case 2: // hundredths, as a pilot sees them
                values[i] = n / 100.0;
                break;
            default: // few digits, any magnitude
                values[i] = std::ldexp(static_cast<double>(n), field[5] % 160 - 80);
                break;
            }
        }
        char text[256];
        if (values[3] > 0 && FormatRecordLine(text, sizeof text, values[0], values[1], values[2], values[3])) {
            DataLine line;
            if (const char* problem = ParseDataLine(text, line)) {
                std::fprintf(stderr, "%s\n", problem);
                Fail("a line the module writes is refused", text);
            }
            char again[256];
            if (!FormatRecordLine(again, sizeof again, line.startTime, line.startPitch, line.endPitch, line.span) ||
                std::strcmp(again, text) != 0) {
                Fail("a line the module writes reads back as other values", text);
            }
        }
    }
    return 0;
}
