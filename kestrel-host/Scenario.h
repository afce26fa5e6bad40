// The host's scenario file: a block per open display,
//
//     # kestrel-host scenario
//     BEGIN_MFD left 256 200 8 10      (display, width, height, char cell)
//     REC 1                            (the module's items, one per line)
//     INT 10.00
//     VES Probe&7
//     END_MFD
//
// Blank lines and lines starting with '#' outside a block are skipped.
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

// Throws HostError naming `source` and the line when the text breaks the layout.
std::vector<ScenarioBlock> ParseScenario(const std::string& text, const std::string& source);
std::string FormatScenario(const std::vector<ScenarioBlock>& blocks);

// What a SCENARIOHANDLE points to while the module writes its items.
struct ScenarioWriter {
    std::vector<std::string> items;
};

// What a SCENARIOHANDLE points to while the module reads its block: each
// line is handed over in a buffer the module may change.
struct ScenarioReader {
    const std::vector<std::string>* items = nullptr;
    std::size_t next = 0;
    std::vector<char> buffer;

    bool NextLine(char*& line);
};
