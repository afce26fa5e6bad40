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

#include <cstdint>
#include <string>
#include <vector>

struct ScenarioBlock {
    std::string display;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t charWidth = 0;
    std::uint32_t charHeight = 0;
    std::vector<std::string> items; // each line as the module wrote it
};

// Sizes and char cells run from 0 to 65535, in scenarios as in flights:
// whatever a display was opened with is saved, and loads back.
constexpr std::uint32_t kLargestDisplaySize = 0xFFFF;

// Throws HostError naming `source` and the line when the text breaks the layout.
std::vector<ScenarioBlock> ParseScenario(const std::string& text, const std::string& source);
std::string FormatScenario(const std::vector<ScenarioBlock>& blocks);
