// The one host of the process: everything the host operations act on.
#pragma once

#include "host/Mfd.h"
#include "kestrel-host/simulator/Displays.h"
#include "kestrel-host/simulator/HostFiles.h"
#include "kestrel-host/simulator/InputBoxes.h"
#include "kestrel-host/simulator/World.h"

#include <string>
#include <vector>

// The message that asks a mode's handler for a new display instance.
constexpr std::uint32_t kOpenMessage = 1;

struct RegisteredMode {
    int id = 0;
    std::string name;
    DWORD key = 0;
    decltype(MFDMODESPEC::msgproc) msgproc = nullptr;
};

struct HostContext {
    World world;
    HostFiles files;
    Displays displays;
    InputBoxes inputBoxes;

    std::vector<RegisteredMode> modes;
    int nextModeId = 1;
    std::vector<int> unregistered;   // every identifier the module unregistered
    std::vector<void*> initLibHandles; // every handle InitLib was given
    int date2IntCalls = 0;
};

HostContext& Host();
