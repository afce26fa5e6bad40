#include "tests/support/ExactDecimal.h"

#include <cmath>
#include <cstdint>

namespace {

// An exact non-negative decimal: `digits` with the point before the last
// `fraction` of them.
struct Decimal {
    std::string digits;
    std::size_t fraction = 0;
};

Decimal ExactDecimal(double magnitude)
{
    int exponent = 0;
    const double f = std::frexp(magnitude, &exponent);
    auto mantissa = static_cast<std::uint64_t>(std::ldexp(f, 53));
    exponent -= 53;
    Decimal d{std::to_string(mantissa), 0};
    for (; exponent > 0; --exponent) { // double it
        int carry = 0;
        for (std::size_t i = d.digits.size(); i-- > 0;) {
            const int v = (d.digits[i] - '0') * 2 + carry;
            d.digits[i] = static_cast<char>('0' + v % 10);
            carry = v / 10;
        }
        if (carry != 0) {
            d.digits.insert(d.digits.begin(), static_cast<char>('0' + carry));
        }
    }
    for (; exponent < 0; ++exponent) { // halve it, one more fraction digit
        d.digits.push_back('0');
        ++d.fraction;
        int remainder = 0;
        for (char& c : d.digits) {
            const int v = remainder * 10 + (c - '0');
            c = static_cast<char>('0' + v / 2);
            remainder = v % 2;
        }
    }
    return d;
}

// Adds one unit in the digit at `position`, carrying leftwards; may grow the
// string at its front (returns true then).
bool IncrementAt(std::string& digits, std::size_t position)
{
    for (std::size_t i = position + 1; i-- > 0;) {
        if (digits[i] == '9') {
            digits[i] = '0';
        } else {
            ++digits[i];
            return false;
        }
    }
    digits.insert(digits.begin(), '1');
    return true;
}

} // namespace

std::string ReferenceFixed(double value, int decimals)
{
    if (std::isnan(value)) {
        return "nan";
    }
    std::string sign = std::signbit(value) ? "-" : "";
    if (std::isinf(value)) {
        return sign + "inf";
    }
    Decimal d = ExactDecimal(std::fabs(value));
    // Make sure at least one digit stands before the point and `decimals`
    // plus one after it.
    while (d.digits.size() <= d.fraction) {
        d.digits.insert(d.digits.begin(), '0');
    }
    while (d.fraction < static_cast<std::size_t>(decimals) + 1) {
        d.digits.push_back('0');
        ++d.fraction;
    }
    // Rule 1: 17 significant digits, the 18th decides.
    const std::size_t first = d.digits.find_first_not_of('0');
    if (first != std::string::npos && first + 17 < d.digits.size()) {
        const bool up = d.digits[first + 17] >= '5';
        for (std::size_t i = first + 17; i < d.digits.size(); ++i) {
            d.digits[i] = '0';
        }
        if (up) {
            IncrementAt(d.digits, first + 16);
        }
    }
    // Rule 2: cut after `decimals`, the first digit cut decides.
    std::size_t integerDigits = d.digits.size() - d.fraction;
    std::string kept = d.digits.substr(0, integerDigits + static_cast<std::size_t>(decimals));
    if (d.digits[integerDigits + static_cast<std::size_t>(decimals)] >= '5') {
        if (IncrementAt(kept, kept.size() - 1)) {
            ++integerDigits;
        }
    }
    // Drop surplus leading zeros of the integer part.
    while (integerDigits > 1 && kept[0] == '0') {
        kept.erase(kept.begin());
        --integerDigits;
    }
    std::string text = sign + kept.substr(0, integerDigits);
    if (decimals > 0) {
        // Appended piecewise: g++ 12 at -O3 warns falsely (-Wrestrict) about
        // "." + std::string.
        text += '.';
        text.append(kept, integerDigits, std::string::npos);
    }
    return text;
}

