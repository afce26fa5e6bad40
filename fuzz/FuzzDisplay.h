// A display of the mode, made once per fuzzing process in a folder of its
// own (the constructor creates the data folder in the current folder), with
// the test double of the host behind it.
#pragma once

#include "display/KestrelScribeMFD.h"
#include "recorder/RecorderState.h"
#include "tests/support/FakeHost.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

inline KestrelScribeMFD& FuzzDisplay()
{
    static KestrelScribeMFD* display = [] {
        const auto folder = std::filesystem::temp_directory_path() / "kestrel-fuzz";
        std::filesystem::create_directories(folder);
        std::filesystem::current_path(folder);
        FakeHost::Get().recordCalls = false;
        return new KestrelScribeMFD(256, 200, nullptr, 0);
    }();
    return *display;
}

// A fresh recorder with the usual settings, and a quiet host that knows
// one vessel.
inline void ResetForFuzzing()
{
    FakeHost& host = FakeHost::Get();
    host.Reset();
    host.recordCalls = false;
    host.AddObject("Probe 7", 0.1);
    recorder = RecorderState{};
    std::strcpy(recorder.vesselName, "Probe 7");
}

[[noreturn]] inline void FuzzFailure(const char* what)
{
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}
