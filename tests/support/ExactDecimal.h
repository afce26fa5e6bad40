// An exact reference for fixed-decimal printing, sharing no code with the
// module's FormatFixed: the double's full decimal expansion by repeated
// halving or doubling of a digit string, then the two rounding rules (17
// significant digits, then the decimals shown, halves up) applied to that
// string. Slow, and meant to be obviously right.
#pragma once

#include <string>

std::string ReferenceFixed(double value, int decimals);
