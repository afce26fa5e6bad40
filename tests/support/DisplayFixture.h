// Common ground for tests of the display mode: a fresh recorder and fake
// host with one vessel in focus, displays that the test owns as the host
// would, and the test's own folder (tests/support/WorkFolder.h) as the
// current folder, for the data folder that every new display creates.
#pragma once

#include "display/KestrelScribeMFD.h"
#include "recorder/RecorderState.h"
#include "tests/support/FakeHost.h"
#include "tests/support/WorkFolder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

class DisplayFixture : public ::testing::Test {
public:
    // The drawing calls of one redraw.
    static std::vector<std::string> Draw(KestrelScribeMFD& display)
    {
        RecordingCanvas canvas;
        display.Redraw(&canvas);
        return canvas.log;
    }

protected:
    void SetUp() override
    {
        host().Reset();
        recorder = RecorderState{};
        host().AddObject("Probe 7", 0.0);
        host().focus = host().Handle("Probe 7");

        previousFolder_ = std::filesystem::current_path();
        folder_ = FreshFolder();
        std::filesystem::current_path(folder_);
    }

    void TearDown() override
    {
        // The host deletes its displays; so do we, before the next test.
        displays_.clear();
        std::filesystem::current_path(previousFolder_);
    }

    static FakeHost& host() { return FakeHost::Get(); }

    // A display with the given size; its character cell is the fake host's
    // nextCharWidth and nextCharHeight.
    KestrelScribeMFD& Open(DWORD width = 256, DWORD height = 200)
    {
        displays_.push_back(std::make_unique<KestrelScribeMFD>(width, height, nullptr, 0));
        return *displays_.back();
    }

    // Deletes a display opened with Open, as the host does when it closes it.
    void Close(const KestrelScribeMFD& display)
    {
        std::erase_if(displays_, [&](const auto& owned) { return owned.get() == &display; });
    }

    const std::filesystem::path& Folder() const { return folder_; }

    // A recorder in the middle of a recording, every field set to a value
    // of its own, so that a test sees which fields an operation touched.
    static RecorderState Recording(const char* vesselName)
    {
        RecorderState state;
        state.recording = 1;
        state.fileStarted = 1;
        state.fileStamp = 613815000;
        std::snprintf(state.vesselName, sizeof state.vesselName, "%s", vesselName);
        state.interval = 2.5;
        state.intervalEntry = 2.5f;
        state.elapsed = 31.0;
        state.nextSample = 40.0;
        state.lastTime = 30.0;
        state.lastPitch = 9.5;
        state.pitch = 9.5;
        state.span = 10.0;
        std::snprintf(state.sampledVessel, sizeof state.sampledVessel, "%s", vesselName);
        return state;
    }

    static void ExpectRecorderEq(const RecorderState& expected)
    {
        EXPECT_EQ(recorder.recording, expected.recording);
        EXPECT_EQ(recorder.fileStarted, expected.fileStarted);
        EXPECT_EQ(recorder.fileStamp, expected.fileStamp);
        EXPECT_STREQ(recorder.vesselName, expected.vesselName);
        EXPECT_EQ(recorder.interval, expected.interval);
        EXPECT_EQ(recorder.intervalEntry, expected.intervalEntry);
        EXPECT_EQ(recorder.elapsed, expected.elapsed);
        EXPECT_EQ(recorder.nextSample, expected.nextSample);
        EXPECT_EQ(recorder.lastTime, expected.lastTime);
        EXPECT_EQ(recorder.lastPitch, expected.lastPitch);
        EXPECT_EQ(recorder.pitch, expected.pitch);
        EXPECT_EQ(recorder.span, expected.span);
        EXPECT_STREQ(recorder.sampledVessel, expected.sampledVessel);
    }

private:
    std::vector<std::unique_ptr<KestrelScribeMFD>> displays_;
    std::filesystem::path previousFolder_;
    std::filesystem::path folder_;
};
