#include "kestrel-records/charts/Axis.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

std::string DecimalLabel(long long m, int exponent)
{
    if (m == 0) {
        return "0";
    }
    const std::string sign = m < 0 ? "-" : "";
    std::string digits = std::to_string(m < 0 ? -static_cast<unsigned long long>(m) : static_cast<unsigned long long>(m));
    const int count = static_cast<int>(digits.size());
    if (exponent >= 0 && count + exponent <= 12) {
        return sign + digits + std::string(static_cast<std::size_t>(exponent), '0');
    }
    if (exponent < 0 && exponent >= -6) {
        const std::size_t decimals = static_cast<std::size_t>(-exponent);
        if (digits.size() <= decimals) {
            digits.insert(0, decimals - digits.size() + 1, '0');
        }
        std::string text = digits.substr(0, digits.size() - decimals) + "." + digits.substr(digits.size() - decimals);
        while (text.back() == '0') {
            text.pop_back();
        }
        if (text.back() == '.') {
            text.pop_back();
        }
        return sign + text;
    }
    const int power = exponent + count - 1;
    while (digits.size() > 1 && digits.back() == '0') {
        digits.pop_back();
    }
    std::string mantissa = digits.substr(0, 1);
    if (digits.size() > 1) {
        mantissa += "." + digits.substr(1);
    }
    return sign + mantissa + "e" + std::to_string(power);
}

namespace {

std::string Shortest(double value)
{
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

} // namespace

Axis MakeAxis(double lowest, double highest, int ticks)
{
    Axis axis;
    if (!(lowest <= highest) || !std::isfinite(lowest) || !std::isfinite(highest)) {
        lowest = 0;
        highest = 1;
    }
    if (lowest == highest) {
        const double room = lowest == 0 ? 1 : std::fabs(lowest) * 0.05;
        lowest -= room;
        highest += room;
    }
    const double magnitude = std::max(std::fabs(lowest), std::fabs(highest));
    if (highest - lowest < magnitude * 1e-9) {
        // Labels of the values themselves would need more digits than a
        // chart can show: count from a round value just below the lowest,
        // close enough that every difference from it is exact.
        const double unit = std::pow(10.0, std::ceil(std::log10(highest - lowest)) + 1);
        axis.anchor = std::floor(lowest / unit) * unit;
        axis.anchorText = axis.anchor < 0 ? "-" + Shortest(-axis.anchor) : "+" + Shortest(axis.anchor);
    }
    double low = lowest - axis.anchor;
    double high = highest - axis.anchor;

    ticks = std::max(ticks, 1);
    const double raw = (high - low) / ticks;
    int exponent = static_cast<int>(std::floor(std::log10(raw)));
    int factor = 10;
    for (const int f : {1, 2, 5}) {
        if (f * std::pow(10.0, exponent) >= raw * (1 - 1e-9)) {
            factor = f;
            break;
        }
    }
    if (factor == 10) {
        factor = 1;
        ++exponent;
    }
    const double step = factor * std::pow(10.0, exponent);
    // Out to the ticks around the values; the bounds above keep the tick
    // indices far inside what a long long and a double hold exactly.
    const auto first = static_cast<long long>(std::floor(low / step + 1e-9));
    const auto last = static_cast<long long>(std::ceil(high / step - 1e-9));
    axis.low = static_cast<double>(first) * step;
    axis.high = static_cast<double>(last) * step;
    for (long long k = first; k <= last && k - first <= 100; ++k) {
        axis.ticks.push_back(AxisTick{(static_cast<double>(k) * step - axis.low) / (axis.high - axis.low),
                                      DecimalLabel(k * factor, exponent)});
    }
    return axis;
}
