// What the module's scenario operations act on: a SCENARIOHANDLE points to a
// ScenarioWriter while the module writes its display's items, to a
// ScenarioReader while it reads them back. (The file the items are kept in
// between is read and written by the commands.)
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// What a SCENARIOHANDLE points to while the module writes its items.
struct ScenarioWriter {
    std::vector<std::string> items;
};

// What a SCENARIOHANDLE points to while the module reads its block: each
// line as the host hands it over, without its leading blanks and tabs and
// without its line end, otherwise as it stands, in a line buffer of
// kScenarioLineBuffer bytes that the module may change. The rest of a longer
// line is cut off.
constexpr std::size_t kScenarioLineBuffer = 1024;

struct ScenarioReader {
    const std::vector<std::string>* items = nullptr;
    std::size_t next = 0;
    char buffer[kScenarioLineBuffer] = {};

    bool NextLine(char*& line);
};
