// Common ground for tests of the recorder: a fresh recorder and fake host,
// one vessel, and short ways to step and to read the data files back.
#pragma once

#include "recorder/RecorderState.h"
#include "recorder/StepSampler.h"
#include "tests/support/FakeHost.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

class RecorderFixture : public ::testing::Test {
protected:
    static constexpr double kRadiansPerDegree = 3.14159265358979323846 / 180.0;

    void SetUp() override
    {
        host().Reset();
        recorder = RecorderState{};
        host().AddObject("Probe 7", 0.0);
        SetVessel("Probe 7");
    }

    static FakeHost& host() { return FakeHost::Get(); }

    static void SetVessel(const std::string& name)
    {
        std::strncpy(recorder.vesselName, name.c_str(), sizeof recorder.vesselName - 1);
        recorder.vesselName[sizeof recorder.vesselName - 1] = '\0';
    }

    static void SetPitchDegrees(const std::string& vessel, double degrees)
    {
        host().SetPitch(vessel, degrees * kRadiansPerDegree);
    }

    static void Step(double dt, int count = 1)
    {
        for (int i = 0; i < count; ++i) {
            opcPreStep(0.0, dt, 0.0);
        }
    }

    // The lines of a data file of the fake host, or none.
    static std::vector<std::string> Lines(const std::string& path)
    {
        const auto it = host().files.find(path);
        return it == host().files.end() ? std::vector<std::string>{} : it->second.lines;
    }

    static std::string DataFile(const std::string& vessel, int stamp)
    {
        return "KestrelScribeData\\" + vessel + "_" + std::to_string(stamp) + ".txt";
    }
};
