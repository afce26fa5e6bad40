// The module's one way of printing a number with a fixed count of decimals.
#pragma once

#include <cstddef>

// Writes `value` with `decimals` digits after the decimal point into `out`,
// which holds `size` bytes; the text is always terminated and never runs past
// `size`. Returns the length of the whole text, which is `size` or more when
// the text did not fit (as snprintf does), so callers can refuse a cut text.
//
// Rounding: the exact binary value is first rounded to 17 significant digits
// (up when the 18th digit is 5 or more), and that digit string is then cut
// after the decimals shown (up by one in the last kept digit, with carries,
// when the first digit cut off is 5 or more). So 0.25 with one decimal gives
// 0.3, while 0.15, stored slightly below 0.15, gives 0.1, and 1.605, whose
// 17-digit form is 1.6050000000000000, gives 1.61 with two decimals.
//
// A value with its sign bit set prints a minus sign even when every printed
// digit is 0 (-0.04 with one decimal gives -0.0). Infinities print as "inf"
// and "-inf", not-a-number values as "nan", whatever the count of decimals.
// A negative count of decimals counts as 0.
std::size_t FormatFixed(char* out, std::size_t size, double value, int decimals);
