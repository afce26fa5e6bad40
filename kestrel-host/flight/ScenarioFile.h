// The host's scenario file: a block per open display,
//
//     # kestrel-host scenario
//     BEGIN_MFD left 256 200 8 10      (display, width, height, char cell)
//     REC 1                            (the module's items, one per line)
//     INT 10.00
//     VES Probe&7
//     END_MFD
//
// Blank lines and lines starting with '#' outside a block are skipped. Lines
// may be indented with blanks and tabs, as hand-edited files often are.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

struct ScenarioBlock {
    std::string display;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t charWidth = 0;
    std::uint32_t charHeight = 0;
    // Each item line as the module is handed it: without its indentation,
    // and of a longer line the first kScenarioItemBytes bytes.
    std::vector<std::string> items;
};

// Sizes and char cells run from 0 to 65535, in scenarios as in flights:
// whatever a display was opened with is saved, and loads back.
constexpr std::uint32_t kLargestDisplaySize = 0xFFFF;

// What of an item line reaches the module: the line buffer it is handed
// over in holds 1024 bytes with the terminator (simulator/ScenarioHandles.h).
constexpr std::size_t kScenarioItemBytes = 1023;
// A scenario is read in bounded memory: at most this many item lines in all
// its blocks.
constexpr std::size_t kMostScenarioItems = 10000;

// The blocks of a scenario file. Throws HostError naming the file and the
// line when it cannot be read or breaks the layout.
std::vector<ScenarioBlock> ReadScenarioFile(const std::filesystem::path& path);
std::string FormatScenario(const std::vector<ScenarioBlock>& blocks);
