#include "text/ScanText.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

const char* SkipBlanks(const char* text)
{
    while (IsBlank(*text)) {
        ++text;
    }
    return text;
}

// Finds the end of a decimal number at `p` (after blanks): returns p itself
// when no number starts there.
const char* DecimalNumberEnd(const char* p)
{
    const char* q = p;
    if (*q == '+' || *q == '-') {
        ++q;
    }
    bool anyDigit = false;
    while (IsDigit(*q)) {
        ++q;
        anyDigit = true;
    }
    if (*q == '.') {
        ++q;
        while (IsDigit(*q)) {
            ++q;
            anyDigit = true;
        }
    }
    if (!anyDigit) {
        return p;
    }
    if (*q == 'e' || *q == 'E') {
        const char* e = q + 1;
        if (*e == '+' || *e == '-') {
            ++e;
        }
        if (IsDigit(*e)) {
            while (IsDigit(*e)) {
                ++e;
            }
            q = e;
        }
    }
    return q;
}

// The power of ten of the first significant digit of the plain decimal
// number [p, end) (no sign), exponent included; saturates far beyond any
// floating-point range.
long long LeadingPowerOfTen(const char* p, const char* end)
{
    constexpr long long kFar = 1LL << 40;
    long long power = -1;
    bool significant = false;
    for (; p != end && IsDigit(*p); ++p) {
        if (significant) {
            ++power;
        } else if (*p != '0') {
            significant = true;
            power = 0;
        }
    }
    if (p != end && *p == '.') {
        for (++p; p != end && IsDigit(*p); ++p) {
            if (!significant) {
                if (*p != '0') {
                    significant = true;
                } else {
                    --power;
                }
            }
        }
    }
    if (p != end && (*p == 'e' || *p == 'E')) {
        ++p;
        const bool negative = *p == '-';
        if (*p == '+' || *p == '-') {
            ++p;
        }
        long long exponent = 0;
        for (; p != end && IsDigit(*p); ++p) {
            exponent = exponent < kFar ? exponent * 10 + (*p - '0') : kFar;
        }
        power += negative ? -exponent : exponent;
    }
    return power;
}

template <typename Real>
ScanStatus ScanReal(const char* text, Real& value)
{
    if (text == nullptr) {
        return ScanStatus::NoValue;
    }
    const char* begin = SkipBlanks(text);
    const char* end = DecimalNumberEnd(begin);
    if (end == begin) {
        return ScanStatus::NoValue;
    }
    // from_chars takes no '+' and ignores the locale.
    const bool negative = *begin == '-';
    const char* digits = (*begin == '+' || *begin == '-') ? begin + 1 : begin;
    Real parsed{};
    const auto result = std::from_chars(digits, end, parsed, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) {
        // Too large, or too small to be told from zero: the power of ten of
        // the first significant digit tells which.
        const bool tiny = LeadingPowerOfTen(digits, end) < 0;
        if (!tiny) {
            return ScanStatus::OutOfRange;
        }
        parsed = Real{0};
    } else if (result.ec != std::errc()) {
        return ScanStatus::NoValue;
    } else if (!std::isfinite(parsed)) {
        return ScanStatus::OutOfRange;
    }
    value = negative ? -parsed : parsed;
    return ScanStatus::Read;
}

} // namespace

ScanStatus ScanInt(const char* text, int& value)
{
    if (text == nullptr) {
        return ScanStatus::NoValue;
    }
    const char* p = SkipBlanks(text);
    const bool negative = *p == '-';
    if (*p == '+' || *p == '-') {
        ++p;
    }
    if (!IsDigit(*p)) {
        return ScanStatus::NoValue;
    }
    // Accumulate as a negative number so that INT_MIN fits; refuse overflow.
    long long magnitude = 0;
    for (; IsDigit(*p); ++p) {
        magnitude = magnitude * 10 + (*p - '0');
        if (magnitude > static_cast<long long>(std::numeric_limits<int>::max()) + 1) {
            return ScanStatus::OutOfRange;
        }
    }
    const long long signedValue = negative ? -magnitude : magnitude;
    if (signedValue > std::numeric_limits<int>::max()) {
        return ScanStatus::OutOfRange;
    }
    value = static_cast<int>(signedValue);
    return ScanStatus::Read;
}

ScanStatus ScanDouble(const char* text, double& value)
{
    return ScanReal(text, value);
}

ScanStatus ScanFloat(const char* text, float& value)
{
    return ScanReal(text, value);
}

bool ScanWord(const char* text, char* out, std::size_t size)
{
    if (text == nullptr || out == nullptr || size == 0) {
        return false;
    }
    const char* p = SkipBlanks(text);
    if (*p == '\0') {
        return false;
    }
    std::size_t length = 0;
    for (; *p != '\0' && !IsBlank(*p); ++p) {
        if (length + 1 < size) {
            out[length++] = *p;
        }
    }
    out[length] = '\0';
    return true;
}
