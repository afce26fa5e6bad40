// A flight as its file gives it: vessels, clock, scenario, steps and the
// events to play (FlightLoader.h reads one).
#pragma once

#include "kestrel-host/flight/ScenarioFile.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// A vessel's pitch table as the flight gives it: [time, radians] points in
// strictly increasing time, at least one. (The world flies it as a
// PitchTable.)
using PitchPoints = std::vector<std::pair<double, double>>;

struct VesselDefinition {
    std::string name;
    PitchPoints pitch;
};

struct StepRun {
    double dt = 0;
    long count = 0;
};

enum class Action {
    Open, Button, Key, Menu, Input, Focus, AddVessel, RemoveVessel, Close, Save, Load, Snapshot, Message, Files,
};

struct Event {
    std::size_t index = 0; // position in the file's events, from 0
    long step = 0;
    Action action = Action::Open;

    std::string display;                 // open, button, key, menu, close, snapshot
    std::uint32_t packedSize = 0;        // open, message: width | height << 16
    std::optional<std::uint32_t> charWidth, charHeight; // open
    int button = 0, flags = 1;           // button
    std::uint32_t key = 0;               // key
    char menu = 0;                       // menu
    std::optional<std::string> input;    // input: none cancels the box
    std::string vessel;                  // focus, remove_vessel
    VesselDefinition newVessel;                // add_vessel
    std::filesystem::path path;          // save: relative to the root; load: absolute
    std::filesystem::path svg, log, bmp; // snapshot: relative to the root (empty: none)
    std::uint32_t message = 0, displayId = 0; // message
    bool filesFail = false;              // files: "fail" (true) or "ok"
};

struct Flight {
    std::filesystem::path file;          // absolute
    std::optional<double> clockMjd;
    std::vector<VesselDefinition> vessels;
    std::optional<std::string> focus;    // none: no vessels
    std::optional<std::filesystem::path> scenario; // absolute
    std::vector<ScenarioBlock> scenarioBlocks;
    std::vector<StepRun> steps;
    long totalSteps = 0;
    std::vector<Event> events;
    bool hostCallsExit = true;
    int versionCalls = 1;
    // Every file the run reads (the flight, its scenarios, the module), which
    // nothing the run writes may reach.
    std::vector<std::filesystem::path> inputs;
};
