// printf-style text building for the module's fixed 256-byte buffers.
#pragma once

#include <cstddef>

// Formats into `out` (of `size` bytes, always terminated, never overrun).
// Understands %s, %d, %% and %.Nf / %0.Nf; numbers with decimals go through
// FormatFixed. Returns the length of the whole text, `size` or more when it
// did not fit, so that callers can refuse a cut text.
std::size_t FormatText(char* out, std::size_t size, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

// Writes `value` in plain decimal; same contract as FormatText.
std::size_t FormatInt(char* out, std::size_t size, int value);
