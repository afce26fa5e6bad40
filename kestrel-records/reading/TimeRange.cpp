#include "kestrel-records/reading/TimeRange.h"

#include <algorithm>
#include <string_view>

namespace {

// A time exactly, in tenths: its digits without leading zeros ("0" for
// zero, which is never negative).
struct Tenths {
    bool negative = false;
    std::string digits;
};

// From a time with one decimal, as a line prints it.
Tenths FromText(std::string_view text)
{
    Tenths tenths;
    tenths.negative = !text.empty() && text[0] == '-';
    for (const char c : text.substr(tenths.negative ? 1 : 0)) {
        if (c != '.' && !(c == '0' && tenths.digits.empty())) {
            tenths.digits += c;
        }
    }
    if (tenths.digits.empty()) {
        tenths.digits = "0";
        tenths.negative = false;
    }
    return tenths;
}

std::string ToText(const Tenths& tenths)
{
    std::string digits = tenths.digits;
    if (digits.size() < 2) {
        digits.insert(0, 2 - digits.size(), '0');
    }
    digits.insert(digits.size() - 1, 1, '.');
    return tenths.negative ? "-" + digits : digits;
}

int CompareSizes(const std::string& a, const std::string& b)
{
    if (a.size() != b.size()) {
        return a.size() < b.size() ? -1 : 1;
    }
    return a.compare(b) < 0 ? -1 : a == b ? 0 : 1;
}

int Compare(const Tenths& a, const Tenths& b)
{
    if (a.negative != b.negative) {
        return a.negative ? -1 : 1;
    }
    const int sizes = CompareSizes(a.digits, b.digits);
    return a.negative ? -sizes : sizes;
}

// The digits of a + b, and of a - b for a >= b.
std::string Add(const std::string& a, const std::string& b)
{
    std::string sum;
    int carry = 0;
    for (std::size_t i = 0; i < std::max(a.size(), b.size()) || carry > 0; ++i) {
        const int digit = carry + (i < a.size() ? a[a.size() - 1 - i] - '0' : 0) + (i < b.size() ? b[b.size() - 1 - i] - '0' : 0);
        sum += static_cast<char>('0' + digit % 10);
        carry = digit / 10;
    }
    std::reverse(sum.begin(), sum.end());
    return sum;
}

std::string Subtract(const std::string& a, const std::string& b)
{
    std::string difference;
    int borrow = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        int digit = a[a.size() - 1 - i] - '0' - borrow - (i < b.size() ? b[b.size() - 1 - i] - '0' : 0);
        borrow = digit < 0 ? 1 : 0;
        difference += static_cast<char>('0' + digit + 10 * borrow);
    }
    while (difference.size() > 1 && difference.back() == '0') {
        difference.pop_back();
    }
    std::reverse(difference.begin(), difference.end());
    return difference;
}

Tenths Sum(const Tenths& a, const Tenths& b)
{
    if (a.negative == b.negative) {
        return Tenths{a.negative, Add(a.digits, b.digits)};
    }
    const int sizes = CompareSizes(a.digits, b.digits);
    if (sizes == 0) {
        return Tenths{false, "0"};
    }
    return sizes > 0 ? Tenths{a.negative, Subtract(a.digits, b.digits)} : Tenths{b.negative, Subtract(b.digits, a.digits)};
}

std::string TenthsText(std::int64_t tenths, bool minusZero)
{
    const bool negative = tenths < 0 || minusZero;
    const std::uint64_t size = tenths < 0 ? 0 - static_cast<std::uint64_t>(tenths) : static_cast<std::uint64_t>(tenths);
    return (negative ? "-" : "") + std::to_string(size / 10) + "." + std::to_string(size % 10);
}

} // namespace

std::string TimeRange::EarliestText() const
{
    return inTenths_ ? TenthsText(earliest_.tenths, earliest_.minusZero) : earliest_.text;
}

std::string TimeRange::LatestText() const
{
    return inTenths_ ? TenthsText(latest_.tenths, latest_.minusZero) : latest_.text;
}

void TimeRange::TakeDecimals(const DataLine& line)
{
    if (inTenths_) {
        inTenths_ = false;
        if (any_) {
            earliest_.text = TenthsText(earliest_.tenths, earliest_.minusZero);
            latest_.text = TenthsText(latest_.tenths, latest_.minusZero);
        }
    }
    TakeDecimal(std::string(line.startTimeText), line.startTime);
    if (std::isfinite(line.span)) {
        TakeDecimal(ToText(Sum(FromText(line.startTimeText), FromText(line.spanText))), line.startTime + line.span);
    }
}

void TimeRange::TakeDecimal(std::string text, double value)
{
    if (!any_) {
        any_ = true;
        earliest_ = Time{0, false, value, text};
        latest_ = Time{0, false, value, std::move(text)};
        return;
    }
    const Tenths time = FromText(text);
    if (Compare(time, FromText(earliest_.text)) < 0) {
        earliest_ = Time{0, false, value, std::move(text)};
    } else if (Compare(time, FromText(latest_.text)) > 0) {
        latest_ = Time{0, false, value, std::move(text)};
    }
}
