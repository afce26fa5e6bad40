#include "fuzz/ReferenceReader.h"

#include <charconv>
#include <limits>

namespace reference {
namespace {

enum Field { kStartTime, kStartPitch, kEndPitch, kSpan };

constexpr const char* kNotANumber[] = {
    "the start time is not a number with one decimal, inf, -inf or nan",
    "the first pitch is not a number with two decimals, inf, -inf or nan",
    "the second pitch is not a number with two decimals, inf, -inf or nan",
    "the span is not a number with one decimal, inf, -inf or nan",
};
constexpr const char* kTooManyDigits[] = {
    "the start time has more than 17 significant digits",
    "the first pitch has more than 17 significant digits",
    "the second pitch has more than 17 significant digits",
    "the span has more than 17 significant digits",
};
constexpr const char* kTooLong = "longer than 255 characters";
constexpr const char* kNotForm = "not a data line (like 0.0=pitch(5.00, 7.50, 10.0))";
constexpr const char* kSpanBelowZero = "the span is below zero or nan, and the module writes a line only after time has passed";

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// A number as the module's formatter prints it with `decimals` decimals:
// "inf", "-inf", "nan", or an optional minus, an integer part without
// leading zeros, a point and exactly `decimals` digits.
const char* ReadNumber(std::string_view text, int decimals, Field field, double& value)
{
    if (text == "inf" || text == "-inf") {
        value = text[0] == '-' ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
        return nullptr;
    }
    if (text == "nan") {
        value = std::numeric_limits<double>::quiet_NaN();
        return nullptr;
    }
    std::size_t at = text.size() > 0 && text[0] == '-' ? 1 : 0;
    const std::size_t integerStart = at;
    while (at < text.size() && IsDigit(text[at])) {
        ++at;
    }
    const std::size_t integerDigits = at - integerStart;
    if (integerDigits == 0 || (integerDigits > 1 && text[integerStart] == '0')) {
        return kNotANumber[field];
    }
    if (at >= text.size() || text[at] != '.' || text.size() - at - 1 != static_cast<std::size_t>(decimals)) {
        return kNotANumber[field];
    }
    for (std::size_t i = at + 1; i < text.size(); ++i) {
        if (!IsDigit(text[i])) {
            return kNotANumber[field];
        }
    }
    // Significant digits: from the first non-zero digit to the last one.
    std::size_t first = std::string_view::npos;
    std::size_t last = 0;
    std::size_t position = 0; // counts digits only, so the point is skipped
    for (std::size_t i = integerStart; i < text.size(); ++i) {
        if (text[i] == '.') {
            continue;
        }
        if (text[i] != '0') {
            if (first == std::string_view::npos) {
                first = position;
            }
            last = position;
        }
        ++position;
    }
    if (first != std::string_view::npos && last - first + 1 > 17) {
        return kTooManyDigits[field];
    }
    // At most 253 digits, so always within the range of a double.
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return kNotANumber[field];
    }
    return nullptr;
}

// Takes the text up to `stop` from `rest`, and `stop` itself.
bool Take(std::string_view& rest, std::string_view stop, std::string_view& field)
{
    const std::size_t at = rest.find(stop);
    if (at == std::string_view::npos) {
        return false;
    }
    field = rest.substr(0, at);
    rest.remove_prefix(at + stop.size());
    return true;
}

} // namespace

const char* ParseDataLine(std::string_view line, DataLine& out)
{
    if (line.size() > kLongestDataLine) {
        return kTooLong;
    }
    std::string_view rest = line;
    if (!Take(rest, "=pitch(", out.startTimeText) || !Take(rest, ", ", out.startPitchText) ||
        !Take(rest, ", ", out.endPitchText) || rest.empty() || rest.back() != ')') {
        return kNotForm;
    }
    out.spanText = rest.substr(0, rest.size() - 1);
    if (const char* problem = ReadNumber(out.startTimeText, 1, kStartTime, out.startTime)) {
        return problem;
    }
    if (const char* problem = ReadNumber(out.startPitchText, 2, kStartPitch, out.startPitch)) {
        return problem;
    }
    if (const char* problem = ReadNumber(out.endPitchText, 2, kEndPitch, out.endPitch)) {
        return problem;
    }
    if (const char* problem = ReadNumber(out.spanText, 1, kSpan, out.span)) {
        return problem;
    }
    if (out.spanText[0] == '-' || out.spanText == "nan") {
        return kSpanBelowZero;
    }
    return nullptr;
}

} // namespace reference
