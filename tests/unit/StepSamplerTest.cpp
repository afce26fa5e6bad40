#include "tests/support/DisplayFixture.h"
#include "tests/support/RecorderFixture.h"

#include <limits>

namespace {

using StepSampler = RecorderFixture;

constexpr int kStamp = 613815000; // the fake clock, MJD 61381.5, times 10000

TEST_F(StepSampler, WritesTheThreeLinesOfAFileBegunAfterAReset)
{
    recorder.recording = 1;
    const double pitches[] = {5, 7.5, 9, 9.5};
    for (int second = 0; second <= 30; ++second) {
        if (second % 10 == 0) {
            SetPitchDegrees("Probe 7", pitches[second / 10]);
        }
        Step(1.0);
    }
    EXPECT_EQ(Lines(DataFile("Probe 7", kStamp)), (std::vector<std::string>{
                                                      "0.0=pitch(5.00, 7.50, 10.0)",
                                                      "10.0=pitch(7.50, 9.00, 10.0)",
                                                      "20.0=pitch(9.00, 9.50, 10.0)",
                                                  }));
    EXPECT_EQ(recorder.fileStarted, 1);
    EXPECT_DOUBLE_EQ(recorder.lastTime, 30.0);
    EXPECT_DOUBLE_EQ(recorder.nextSample, 40.0);
    EXPECT_DOUBLE_EQ(recorder.elapsed, 31.0);
}

TEST_F(StepSampler, OneSecondStepsSampleAtMultiplesOfTheInterval)
{
    recorder.recording = 1;
    std::vector<double> sampleTimes;
    for (int i = 0; i < 25; ++i) {
        const int before = host().CallCount("oapiGetObjectByName");
        const double at = recorder.elapsed;
        Step(1.0);
        if (host().CallCount("oapiGetObjectByName") > before) {
            sampleTimes.push_back(at);
        }
    }
    EXPECT_EQ(sampleTimes, (std::vector<double>{0, 10, 20}));
    EXPECT_EQ(Lines(DataFile("Probe 7", kStamp)),
              (std::vector<std::string>{"0.0=pitch(0.00, 0.00, 10.0)", "10.0=pitch(0.00, 0.00, 10.0)"}));
}

TEST_F(StepSampler, StepsLongerThanTheIntervalSampleEveryStepUntilTheScheduleCatchesUp)
{
    recorder.recording = 1;
    for (int i = 0; i < 5; ++i) {
        SetPitchDegrees("Probe 7", i);
        Step(25.0);
    }
    // Samples at 0, 25, 50, 75, 100 while nextSample goes 10, 20, ... 50.
    EXPECT_EQ(Lines(DataFile("Probe 7", kStamp)), (std::vector<std::string>{
                                                      "0.0=pitch(0.00, 1.00, 25.0)",
                                                      "25.0=pitch(1.00, 2.00, 25.0)",
                                                      "50.0=pitch(2.00, 3.00, 25.0)",
                                                      "75.0=pitch(3.00, 4.00, 25.0)",
                                                  }));
    EXPECT_DOUBLE_EQ(recorder.nextSample, 50.0);
    EXPECT_DOUBLE_EQ(recorder.elapsed, 125.0);
}

TEST_F(StepSampler, ASampleWithNoTimePassedWritesNoLineButMovesOn)
{
    recorder.recording = 1;
    SetPitchDegrees("Probe 7", 1);
    Step(25.0); // sample at 0; nextSample 10
    SetPitchDegrees("Probe 7", 2);
    Step(0.0); // sample at 25: a line; nextSample 20
    SetPitchDegrees("Probe 7", 3);
    Step(0.0); // sample at 25 again: span 0, no line; nextSample 30
    EXPECT_EQ(Lines(DataFile("Probe 7", kStamp)), (std::vector<std::string>{"0.0=pitch(1.00, 2.00, 25.0)"}));
    EXPECT_DOUBLE_EQ(recorder.span, 0.0);
    EXPECT_DOUBLE_EQ(recorder.lastPitch, 3.0);
    EXPECT_DOUBLE_EQ(recorder.lastTime, 25.0);
    EXPECT_DOUBLE_EQ(recorder.nextSample, 30.0);
    const int lookups = host().CallCount("oapiGetObjectByName");
    Step(0.0); // 25 < 30: nothing due
    EXPECT_EQ(host().CallCount("oapiGetObjectByName"), lookups);
}

TEST_F(StepSampler, APauseKeepsTheTimeAxisAndTheNextLineGoesToANewFile)
{
    recorder.recording = 1;
    SetPitchDegrees("Probe 7", 1);
    Step(1.0, 15); // samples at 0 and 10: one line
    ASSERT_EQ(Lines(DataFile("Probe 7", kStamp)).size(), 1u);

    recorder.recording = 0; // switched off
    host().sysMJD = 61381.6;
    Step(1.0, 100);
    EXPECT_DOUBLE_EQ(recorder.elapsed, 15.0);
    EXPECT_EQ(recorder.fileStamp, kStamp);

    recorder.fileStarted = 0; // switching on again begins a new file name
    recorder.recording = 1;
    SetPitchDegrees("Probe 7", 2);
    Step(1.0, 6); // sample at 20
    EXPECT_EQ(Lines(DataFile("Probe 7", kStamp)).size(), 1u);
    EXPECT_EQ(Lines(DataFile("Probe 7", 613816000)), (std::vector<std::string>{"10.0=pitch(1.00, 2.00, 10.0)"}));
}

TEST_F(StepSampler, AnIntervalOfZeroSamplesEveryStep)
{
    recorder.recording = 1;
    recorder.interval = 0.0;
    Step(1.0, 3);
    Step(0.0);
    Step(0.5);
    // Samples at 0, 1, 2, 3, 3: lines for the positive spans only.
    EXPECT_EQ(Lines(DataFile("Probe 7", kStamp)), (std::vector<std::string>{
                                                      "0.0=pitch(0.00, 0.00, 1.0)",
                                                      "1.0=pitch(0.00, 0.00, 1.0)",
                                                      "2.0=pitch(0.00, 0.00, 1.0)",
                                                  }));
    EXPECT_EQ(host().CallCount("oapiGetObjectByName"), 5);
}

TEST_F(StepSampler, TheStampFollowsTheClockUntilTheFirstLineFreezesIt)
{
    host().sysMJD = 61381.50001;
    Step(1.0); // recording off: the stamp still follows the clock
    EXPECT_EQ(recorder.fileStamp, 613815000);
    host().sysMJD = 61381.50019;
    Step(1.0);
    EXPECT_EQ(recorder.fileStamp, 613815001);
    EXPECT_DOUBLE_EQ(recorder.elapsed, 0.0);

    recorder.recording = 1;
    Step(1.0, 10); // first sample at 0, nothing written yet
    host().sysMJD = 61381.6;
    Step(1.0); // sample at 10 writes the first line: stamp of this step
    EXPECT_EQ(recorder.fileStamp, 613816000);
    host().sysMJD = 61381.7;
    Step(1.0, 10);
    EXPECT_EQ(recorder.fileStamp, 613816000);
    EXPECT_EQ(Lines(DataFile("Probe 7", 613816000)).size(), 2u);
}

TEST_F(StepSampler, AFailedAppendOpenFallsBackToWriteAndClosesWithThatMode)
{
    recorder.recording = 1;
    host().failAppendOpen = true;
    Step(10.0);
    host().ClearCalls();
    Step(10.0);
    const std::string name = DataFile("Probe 7", kStamp);
    EXPECT_EQ(host().calls, (std::vector<std::string>{
                                "oapiGetSysMJD",
                                "oapiGetObjectByName(Probe 7)",
                                "oapiGetPitch",
                                "oapiOpenFile(" + name + ",2,0)",
                                "oapiOpenFile(" + name + ",1,0)",
                                "oapiWriteLine(0.0=pitch(0.00, 0.00, 10.0))",
                                "oapiCloseFile(1)",
                            }));
    EXPECT_EQ(recorder.fileStarted, 1);
}

TEST_F(StepSampler, ALineCostsOneOpenOneWriteAndOneClose)
{
    recorder.recording = 1;
    Step(10.0);
    host().ClearCalls();
    Step(10.0);
    const std::string name = DataFile("Probe 7", kStamp);
    EXPECT_EQ(host().calls, (std::vector<std::string>{
                                "oapiGetSysMJD",
                                "oapiGetObjectByName(Probe 7)",
                                "oapiGetPitch",
                                "oapiOpenFile(" + name + ",2,0)",
                                "oapiWriteLine(0.0=pitch(0.00, 0.00, 10.0))",
                                "oapiCloseFile(2)",
                            }));
}

TEST_F(StepSampler, AStepWithNothingDueReadsTheClockAtMostOnce)
{
    recorder.recording = 1;
    Step(1.0, 3); // sampled at 0; nothing due until 10
    host().ClearCalls();
    const long before = host().callTotal;
    Step(1.0);
    EXPECT_EQ(host().calls, (std::vector<std::string>{"oapiGetSysMJD"})); // no file begun yet
    recorder.fileStarted = 1;
    Step(1.0);
    recorder.recording = 0;
    Step(1.0);
    EXPECT_EQ(host().callTotal - before, 1);
}

TEST_F(StepSampler, OnlyARecordingSwitchOfOneSamples)
{
    for (int value : {0, 2, -1}) {
        recorder.recording = value;
        Step(5.0, 4);
        EXPECT_DOUBLE_EQ(recorder.elapsed, 0.0) << value;
        EXPECT_EQ(host().CallCount("oapiGetObjectByName"), 0) << value;
    }
}

TEST_F(StepSampler, AMissingVesselIsNotReadButTheScheduleGoesOn)
{
    recorder.recording = 1;
    SetPitchDegrees("Probe 7", 4);
    Step(10.0, 2); // samples at 0 and 10: one line
    host().RemoveObject("Probe 7");
    const RecorderState before = recorder;
    Step(10.0, 3); // due at 20, 30, 40: no object
    EXPECT_EQ(host().CallCount("oapiGetPitch(null)"), 0);
    EXPECT_EQ(host().CallCount("oapiGetPitch"), 2);
    EXPECT_EQ(recorder.lastTime, before.lastTime);
    EXPECT_EQ(recorder.lastPitch, before.lastPitch);
    EXPECT_EQ(recorder.pitch, before.pitch);
    EXPECT_EQ(recorder.span, before.span);
    EXPECT_DOUBLE_EQ(recorder.nextSample, 50.0);

    host().AddObject("Probe 7", 6 * kRadiansPerDegree);
    Step(10.0); // sample at 50: one line from the last real sample at 10
    EXPECT_EQ(Lines(DataFile("Probe 7", kStamp)), (std::vector<std::string>{
                                                      "0.0=pitch(4.00, 4.00, 10.0)",
                                                      "10.0=pitch(4.00, 6.00, 40.0)",
                                                  }));
}

TEST_F(StepSampler, WhenNoFileOpensNothingIsWrittenAndNoFileCountsAsBegun)
{
    recorder.recording = 1;
    host().failAppendOpen = true;
    host().failWriteOpen = true;
    Step(10.0, 2);
    EXPECT_EQ(host().CallCount("oapiWriteLine"), 0);
    EXPECT_EQ(host().CallCount("oapiCloseFile"), 0);
    EXPECT_EQ(recorder.fileStarted, 0);
    EXPECT_DOUBLE_EQ(recorder.lastTime, 10.0); // the sample itself was taken

    // The folder is writable again: the next line begins a file, stamped then.
    host().failAppendOpen = false;
    host().failWriteOpen = false;
    host().sysMJD = 61381.9;
    Step(10.0);
    EXPECT_EQ(Lines(DataFile("Probe 7", 613819000)), (std::vector<std::string>{"10.0=pitch(0.00, 0.00, 10.0)"}));
    EXPECT_EQ(recorder.fileStarted, 1);
}

TEST_F(StepSampler, ANameThatWouldNotFitWritesNoLine)
{
    // "KestrelScribeData\" (18) + name + "_613815000.txt" (14) must fit 255.
    for (const std::size_t length : {223u, 224u}) {
        SetUp();
        const std::string name(length, 'v');
        host().AddObject(name, 0.0);
        SetVessel(name);
        recorder.recording = 1;
        Step(10.0, 2);
        const bool fits = length == 223;
        EXPECT_EQ(host().CallCount("oapiOpenFile"), fits ? 1 : 0) << length;
        EXPECT_EQ(Lines(DataFile(name, kStamp)).size(), fits ? 1u : 0u) << length;
        EXPECT_EQ(recorder.fileStarted, fits ? 1 : 0) << length;
    }
}

TEST_F(StepSampler, UnsafeCharactersInTheNameBecomeUnderscoresInTheFileNameOnly)
{
    const std::string name = "..\\..\\x/y:z*?\"<>|\tend and blanks";
    host().AddObject(name, 0.0);
    SetVessel(name);
    recorder.recording = 1;
    Step(10.0, 2);
    EXPECT_EQ(Lines(DataFile(".._.._x_y_z_______end and blanks", kStamp)).size(), 1u);
    EXPECT_EQ(std::string(recorder.vesselName), name);
}

TEST(StampFromClock, TruncatesTowardZeroAndSaturates)
{
    struct Case {
        double mjd;
        int stamp;
    } cases[] = {
        {61381.5, 613815000},
        {0.00019999, 1},
        {-0.00019999, -1},
        // 214748.3647 is stored as 214748.36470000000554...: times 10000 it
        // rounds to 2147483647 exactly, the largest stamp. 214748.3648 is
        // stored 1.03e-11 above (0.3648 * 2^35 = 12534432556.6464 rounds up);
        // times 10000 that is 2^31 + 1.03e-7, which rounds to 2^31 (the
        // doubles there are 4.8e-7 apart): beyond int, held at the largest.
        {214748.3647, 2147483647},
        {214748.3648, std::numeric_limits<int>::max()},
        {1e6, std::numeric_limits<int>::max()},
        // Below zero the same digits give -2^31 exactly, the smallest stamp;
        // -214748.3649 is stored 1.41e-11 nearer zero (0.3649 * 2^35 =
        // 12537868530.4832 rounds down); times 10000, -2147483649 + 1.41e-7
        // rounds to -2147483649, beyond int, held at the smallest.
        {-214748.3648, std::numeric_limits<int>::min()},
        {-214748.3649, std::numeric_limits<int>::min()},
        {-1e6, std::numeric_limits<int>::min()},
        {std::numeric_limits<double>::infinity(), std::numeric_limits<int>::max()},
        {std::numeric_limits<double>::quiet_NaN(), 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(StampFromClock(c.mjd), c.stamp) << c.mjd;
    }
}

TEST_F(StepSampler, ResetTimeAxisClearsTheAxisAndKeepsTheSettings)
{
    recorder.recording = 1;
    recorder.interval = 2.5;
    recorder.intervalEntry = 2.5f;
    Step(3.0, 4);
    recorder.fileStamp = 1234;
    ResetTimeAxis();
    EXPECT_EQ(recorder.fileStarted, 0);
    for (double field : {recorder.elapsed, recorder.nextSample, recorder.lastTime, recorder.lastPitch,
                         recorder.pitch, recorder.span}) {
        EXPECT_EQ(field, 0.0);
    }
    EXPECT_EQ(recorder.recording, 1);
    EXPECT_EQ(recorder.interval, 2.5);
    EXPECT_EQ(recorder.intervalEntry, 2.5f);
    EXPECT_EQ(recorder.fileStamp, 1234);
    EXPECT_STREQ(recorder.vesselName, "Probe 7");
    EXPECT_STREQ(recorder.sampledVessel, "");
}

// ---- a line pairs two samples of one vessel ----

using StepSamplerAcrossVessels = DisplayFixture;

TEST_F(StepSamplerAcrossVessels, ALinePairsTwoSamplesOfOneVesselOnly)
{
    // Probe 7 (pitch 10) is recorded with steps of 1 s and interval 10:
    // samples at 0 (seed) and 10 (a line). Before step 15 the recorder is
    // pointed at a vessel without a fresh time axis; samples at 20 and 30.
    // GL-01's pitch is 50, then 55 from step 30. Its sample at 20 follows
    // Probe 7's, so it only seeds; its file (same stamp) begins at 30.
    constexpr double kRadiansPerDegree = 3.14159265358979323846 / 180.0;
    const std::vector<std::string> probeAlone = {"0.0=pitch(10.00, 10.00, 10.0)"};
    const struct {
        const char* vessel;
        bool byScenario; // else by a second display opened with it in focus
        std::vector<std::string> probeLines, glLines;
    } cases[] = {
        {"GL-01", false, probeAlone, {"20.0=pitch(50.00, 55.00, 10.0)"}},
        {"GL-01", true, probeAlone, {"20.0=pitch(50.00, 55.00, 10.0)"}},
        // The same vessel again: its lines go on unbroken.
        {"Probe 7", false,
         {"0.0=pitch(10.00, 10.00, 10.0)", "10.0=pitch(10.00, 10.00, 10.0)", "20.0=pitch(10.00, 10.00, 10.0)"}, {}},
    };
    const auto step = [](int count) {
        for (int i = 0; i < count; ++i) {
            opcPreStep(0.0, 1.0, 0.0);
        }
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.vessel) + (c.byScenario ? " by a scenario" : " by a second display"));
        host().Reset();
        recorder = RecorderState{};
        host().focus = host().AddObject("Probe 7", 10 * kRadiansPerDegree);
        host().AddObject("GL-01", 50 * kRadiansPerDegree);
        KestrelScribeMFD& first = Open();
        ASSERT_TRUE(first.OnKey(0x1E));
        step(15);
        if (c.byScenario) {
            host().scenarioLines = {std::string("VES ") + c.vessel};
            first.ReadFromScenario(nullptr);
        } else {
            host().focus = host().Handle(c.vessel);
            Open();
        }
        step(15);
        host().SetPitch("GL-01", 55 * kRadiansPerDegree);
        step(1);
        EXPECT_EQ(host().files["KestrelScribeData\\Probe 7_613815000.txt"].lines, c.probeLines);
        EXPECT_EQ(host().files["KestrelScribeData\\GL-01_613815000.txt"].lines, c.glLines);
    }
}

} // namespace
