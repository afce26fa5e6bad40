// The events of a flight file, read and played through on paper before the
// run: which displays are open and which vessels exist at each event, so
// that the run cannot trip on a name.
#pragma once

#include "kestrel-host/flight/Flight.h"
#include "kestrel-host/flight/FlightChecker.h"
#include "kestrel-host/flight/PathRules.h"

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

// What the events can rely on, as the flight stands before each one.
struct FlightPaper {
    std::filesystem::path folder; // input paths are relative to it
    std::filesystem::path root;   // output paths are relative to it
    long totalSteps = 0;
    std::set<std::string> vessels;
    std::set<std::string> open;   // displays
    std::map<std::filesystem::path, std::set<std::string>> saved; // scenario files saved so far: their displays
    RunPaths paths; // what the run reads and writes so far
};

// An input path of the flight (`scenario`, `load`): its text checked, taken
// from the flight's folder, and added to the run's inputs.
std::filesystem::path InputPath(const nlohmann::json& value, const std::string& where, const FlightChecker& check,
                                FlightPaper& paper);

std::vector<Event> ReadEvents(const nlohmann::json& list, const FlightChecker& check, FlightPaper& paper);

// The displays a scenario's blocks open.
std::set<std::string> DisplayNamesOf(const std::vector<ScenarioBlock>& blocks);
