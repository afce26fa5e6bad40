// scanf-style reading of single values, the same in every process locale.
//
// Each reader skips leading blanks (space, tab, newline, vertical tab, form
// feed, carriage return) and then reads one value. Unless it reports Read,
// the target is left as it was.
//
// Numbers are plain decimals: an optional sign, digits with an optional
// decimal point (always '.'), and an optional exponent. Texts such as "inf",
// "nan" or "0x10" hold no number beyond what those characters allow ("0x10"
// reads as 0). A number too large for its type is refused; one too small to
// be told from zero reads as zero with its sign.
#pragma once

#include <cstddef>

enum class ScanStatus {
    Read,       // a value was read into the target
    NoValue,    // the text holds no value of that kind
    OutOfRange, // a number too large for the target's type
};

// "%d"
ScanStatus ScanInt(const char* text, int& value);
// "%lf"
ScanStatus ScanDouble(const char* text, double& value);
// "%f"
ScanStatus ScanFloat(const char* text, float& value);
// "%s" into a buffer of `size` bytes: one blank-delimited word, of which the
// first size - 1 characters are kept.
bool ScanWord(const char* text, char* out, std::size_t size);
