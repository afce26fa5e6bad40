// What the platform kestrel-host is built for can do, where rooms that never
// include each other must agree on it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Whether displays are drawn in pixels, so that a snapshot can be a BMP
// file: on Windows each redraw paints a GDI memory bitmap; elsewhere the
// drawing calls are only recorded (pictures/DrawSurface.h).
#ifdef _WIN32
inline constexpr bool kDrawsPixels = true;
#else
inline constexpr bool kDrawsPixels = false;
#endif

// The longest name of one file or folder, and the longest path, the
// platform's file calls take: in bytes here, in UTF-16 units on Windows,
// where the host names files without the \\?\ prefix, so a whole path stops
// at MAX_PATH (260) less its terminator.
inline constexpr std::size_t kLongestFileName = 255;
#ifdef _WIN32
inline constexpr std::size_t kLongestPath = 259;
#else
inline constexpr std::size_t kLongestPath = 4095;
#endif

// The host's own outputs are written whole or not at all: into a new file
// beside the output first, ".NAME.PPPPPPPP" (the process id in 8 hex
// digits, so two hosts never share one), which then takes the output's
// place. So an output's name can be at most kTemporaryNameExtra characters
// shorter than the longest name.
inline constexpr std::size_t kTemporaryNameExtra = 10;

inline std::string TemporaryName(const std::string& name, std::uint32_t processId)
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::string temporary = "." + name + ".";
    for (int shift = 28; shift >= 0; shift -= 4) {
        temporary += kHex[(processId >> shift) & 0xFu];
    }
    return temporary;
}
