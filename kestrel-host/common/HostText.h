// How kestrel-host writes numbers in its traces, messages and summaries:
// with a decimal point whatever the process locale (a run takes the
// environment's locale, for the module's sake).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// "0x1A2B"
std::string Hex(std::uint32_t value);
// A fixed count of decimals.
std::string Fixed(double value, int decimals);
// As "%.17g": enough digits to give the double back.
std::string Number(double value);
// The text for a line of kestrel-host's own output: control characters as
// '?', at most `most` bytes, and when cut, "... (N characters)" after them.
std::string Printable(const std::string& text, std::size_t most);
