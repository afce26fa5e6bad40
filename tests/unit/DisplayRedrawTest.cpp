// The display's construction and its redraw: what it draws, where, and in
// which colour, worked out from the row table by hand.
#include "tests/support/DisplayFixture.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace {

using DisplayRedraw = DisplayFixture;
using DisplayConstruction = DisplayFixture;

// ---- the draw calls ----

// Character cell 8 × 10, height 200: x = 8 × 0.5 = 4; rows 1 to 9 at
// 10 × 2.7 = 27, 10 × 9.3 = 93, 6 × 10 = 60, 10 × 3.7 = 37 (rows 4 and 5),
// 7 × 10 = 70, 10 × 10.3 = 103, 200 − 60 − 2 = 138, 200 − 50 − 2 = 148.
struct SequenceCase {
    int recording;
    std::vector<std::string> expected;
};

const std::vector<std::string> kHead = {
    "font 0",
    "title KestrelScribeMFD",
    "font 0",
    "color 0x33FF33", // labels: red 0x33, green 0xFF, blue 0x33 as 0x00BBGGRR
    "text 4 27 Record Pitch",
    "text 4 93 Sample Interval",
    "text 4 60 Vessel",
};
const std::vector<std::string> kTail = {
    "text 4 70 Probe 7",
    "text 4 103 10.0 Seconds",
    "text 4 138 Time  0.0",
    "text 4 148 Pitch 0.0",
};

std::vector<std::string> Sequence(std::vector<std::string> middle)
{
    std::vector<std::string> all = kHead;
    all.insert(all.end(), middle.begin(), middle.end());
    all.insert(all.end(), kTail.begin(), kTail.end());
    return all;
}

TEST_F(DisplayRedraw, DrawsEveryRowInOrderWithTheStatusWordOfTheSwitch)
{
    const SequenceCase cases[] = {
        // "Off" in the label colour, before the switch to the value colour.
        {0, Sequence({"text 4 37 Off", "color 0x33FFFF"})},
        // "On" in the value colour (red 0xFF, green 0xFF, blue 0x33).
        {1, Sequence({"color 0x33FFFF", "text 4 37 On"})},
        // Any other value (only a scenario sets one) draws neither word.
        {2, Sequence({"color 0x33FFFF"})},
        {-1, Sequence({"color 0x33FFFF"})},
    };
    KestrelScribeMFD& display = Open();
    for (const SequenceCase& c : cases) {
        SCOPED_TRACE("recording " + std::to_string(c.recording));
        recorder.recording = c.recording;
        EXPECT_EQ(Draw(display), c.expected);
    }
}

struct GeometryCase {
    DWORD cw, ch, height;
    int x;
    int rows[8]; // rows 1, 2, 3, 4, 6, 7, 8, 9 (recording 0 draws row 4)
};

TEST_F(DisplayRedraw, PlacesTheRowsByTheCharacterCellAndTheHeight)
{
    const GeometryCase cases[] = {
        {8, 10, 200, 4, {27, 93, 60, 37, 70, 103, 138, 148}},
        // 7 × 0.5 = 3.5 → 3; 7 × 2.7 = 18.9 → 18; 7 × 9.3 = 65.1 → 65; 42;
        // 7 × 3.7 = 25.9 → 25; 49; 7 × 10.3 = 72.1 → 72; 200 − 42 − 2 = 156;
        // 200 − 35 − 2 = 163.
        {7, 7, 200, 3, {18, 65, 42, 25, 49, 72, 156, 163}},
        // 3 × 2.7 = 8.1 → 8; 27.9 → 27; 18; 11.1 → 11; 21; 30.9 → 30;
        // 100 − 18 − 2 = 80; 100 − 15 − 2 = 83.
        {5, 3, 100, 2, {8, 27, 18, 11, 21, 30, 80, 83}},
        // 100 × 2.7 = 270, × 9.3 = 930, 600, × 3.7 = 370, 700, × 10.3 = 1030,
        // 1000 − 600 − 2 = 398, 1000 − 500 − 2 = 498.
        {20, 100, 1000, 10, {270, 930, 600, 370, 700, 1030, 398, 498}},
        // A display too small for its font: the bottom rows come out above
        // the top, 20 − 60 − 2 = −42 and 20 − 50 − 2 = −32, in 32-bit ints.
        {8, 10, 20, 4, {27, 93, 60, 37, 70, 103, -42, -32}},
        // 0 − 6 − 2 = −8, 0 − 5 − 2 = −7.
        {1, 1, 0, 0, {2, 9, 6, 3, 7, 10, -8, -7}},
        // The widest cell: 4294967295 × 0.5 = 2147483647.5 → 2147483647.
        // 208493558 × 10.3 = 2147483647.4 → 2147483647, the last row 7 that
        // fits an int; × 2.7 = 562932606.6, × 9.3 = 1938990089.4, × 3.7 =
        // 771426164.6; 6 × ch = 1250961348, 7 × ch = 1459454906; 200 −
        // 1250961348 − 2 = −1250961150, 200 − 1042467790 − 2 = −1042467592.
        {4294967295u, 208493558, 200, 2147483647,
         {562932606, 1938990089, 1250961348, 771426164, 1459454906, 2147483647, -1250961150, -1042467592}},
        // 208493559 × 10.3 = 2147483657.7, beyond int: held at 2147483647.
        // × 2.7 = 562932609.3, × 9.3 = 1938990098.7, × 3.7 = 771426168.3;
        // 1250961354, 1459454913; −1250961156, −1042467597.
        {4294967295u, 208493559, 200, 2147483647,
         {562932609, 1938990098, 1250961354, 771426168, 1459454913, 2147483647, -1250961156, -1042467597}},
    };
    const char* texts[] = {"Record Pitch", "Sample Interval", "Vessel", "Off",
                           "Probe 7", "10.0 Seconds", "Time  0.0", "Pitch 0.0"};
    for (const GeometryCase& c : cases) {
        SCOPED_TRACE("cw " + std::to_string(c.cw) + " ch " + std::to_string(c.ch) + " H " + std::to_string(c.height));
        host().nextCharWidth = c.cw;
        host().nextCharHeight = c.ch;
        KestrelScribeMFD& display = Open(256, c.height);
        std::vector<std::string> drawn;
        for (const std::string& call : Draw(display)) {
            if (call.starts_with("text ")) {
                drawn.push_back(call);
            }
        }
        std::vector<std::string> expected;
        for (int row = 0; row < 8; ++row) {
            expected.push_back("text " + std::to_string(c.x) + " " + std::to_string(c.rows[row]) + " " + texts[row]);
        }
        EXPECT_EQ(drawn, expected);
        Close(display);
    }
}

// The last text line of a redraw that starts with `prefix` after "text x y ".
std::string DrawnText(KestrelScribeMFD& display, const std::string& rowPrefix)
{
    std::string found;
    for (const std::string& call : DisplayFixture::Draw(display)) {
        if (call.starts_with(rowPrefix)) {
            found = call.substr(rowPrefix.size());
        }
    }
    return found;
}

TEST_F(DisplayRedraw, IntervalEnteredThroughTheBoxPassesThroughSinglePrecision)
{
    KestrelScribeMFD& display = Open();
    ASSERT_TRUE(display.OnKey(0x31));
    ASSERT_EQ(host().inputBoxes.size(), 1u);
    const FakeInputBox& box = host().inputBoxes.back();
    ASSERT_TRUE(box.callback(nullptr, "0.26", box.userData));
    // The float nearest 0.26 is 0.2599999904632568359375; one decimal cuts
    // after "0.2" with 5 as the first digit cut off, so it goes up to 0.3.
    EXPECT_EQ(recorder.interval, static_cast<double>(0.26f));
    EXPECT_EQ(DrawnText(display, "text 4 103 "), "0.3 Seconds");
}

TEST_F(DisplayRedraw, ValueRowsShowTheLastSampleWithOneDecimal)
{
    struct Case {
        double lastTime, lastPitch;
        std::string timeRow, pitchRow;
    };
    const Case cases[] = {
        // 7.94 cuts after 7.9 with 4 first cut off: stays 7.9.
        {7.94, 12.25, "Time  7.9", "Pitch 12.3"}, // 12.25 is exact: halfway goes up
        {0.0, -0.04, "Time  0.0", "Pitch -0.0"},  // the sign stays when the digits are all zero
        {123456.75, -89.96, "Time  123456.8", "Pitch -90.0"},
    };
    KestrelScribeMFD& display = Open();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.timeRow);
        recorder.lastTime = c.lastTime;
        recorder.lastPitch = c.lastPitch;
        recorder.pitch = 1000.0; // a live reading is never shown
        EXPECT_EQ(DrawnText(display, "text 4 138 "), c.timeRow);
        EXPECT_EQ(DrawnText(display, "text 4 148 "), c.pitchRow);
    }
}

// Checks each TextOutA call against the terminated text it was handed.
class LengthCheckingCanvas : public RecordingCanvas {
public:
    BOOL TextOut(int x, int y, const char* text, int length) override
    {
        lengths.emplace_back(length, static_cast<int>(std::strlen(text)));
        return RecordingCanvas::TextOut(x, y, text, length);
    }
    std::vector<std::pair<int, int>> lengths; // passed, strlen
};

TEST_F(DisplayRedraw, PassesEachTextsOwnLength)
{
    KestrelScribeMFD& display = Open();
    std::memset(recorder.vesselName, 'v', 255);
    recorder.vesselName[255] = '\0';
    recorder.recording = 1;
    LengthCheckingCanvas canvas;
    display.Redraw(&canvas);
    ASSERT_EQ(canvas.lengths.size(), 8u);
    for (const auto& [passed, actual] : canvas.lengths) {
        EXPECT_EQ(passed, actual);
    }
    EXPECT_EQ(canvas.lengths[4].first, 255); // the vessel row: the whole name
}

TEST_F(DisplayRedraw, AHugeValueIsDrawnCutAt255Characters)
{
    // Each value row is drawn whole up to 255 characters and cut to its
    // first 255 beyond. Big values print as their 17-digit form and zeros:
    // 2^812 (245 digits) as 27312187117075883 and 228 zeros, 2^815 (246) as
    // 21849749693660706 and 229, 2^818 (247) as 17479799754928565 and 230,
    // 2^821 (248) as 13983839803942852 and 231. So the interval row
    // ("<digits>.0 Seconds") has 255 characters for 2^812 and 256 for
    // 2^815; the time row ("Time  <digits>.0") 255 for 2^818 and 256 for
    // 2^821. 1e300 is stored as 1.00000000000000005250…e300; rounded to 17
    // significant digits (the eighteenth is 5: up) it prints as
    // "10000000000000001" and 284 zeros: rows of 311, 309 and 310 characters.
    const std::string e300 = "10000000000000001";
    const struct {
        double interval, lastTime, lastPitch;
        std::string intervalRow, timeRow, pitchRow;
    } cases[] = {
        {std::ldexp(1.0, 812), std::ldexp(1.0, 818), 0.0,
         "27312187117075883" + std::string(228, '0') + ".0 Seconds",
         "Time  17479799754928565" + std::string(230, '0') + ".0", "Pitch 0.0"},
        {std::ldexp(1.0, 815), std::ldexp(1.0, 821), 0.0,
         "21849749693660706" + std::string(229, '0') + ".0 Second",
         "Time  13983839803942852" + std::string(231, '0') + ".", "Pitch 0.0"},
        {1e300, 1e300, -1e300, e300 + std::string(238, '0'), "Time  " + e300 + std::string(232, '0'),
         "Pitch -" + e300 + std::string(231, '0')},
    };
    KestrelScribeMFD& display = Open();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.interval);
        recorder.interval = c.interval;
        recorder.lastTime = c.lastTime;
        recorder.lastPitch = c.lastPitch;
        EXPECT_EQ(DrawnText(display, "text 4 103 "), c.intervalRow);
        EXPECT_EQ(DrawnText(display, "text 4 138 "), c.timeRow);
        EXPECT_EQ(DrawnText(display, "text 4 148 "), c.pitchRow);
    }
}

TEST_F(DisplayRedraw, TwoDisplaysShowTheSameRecorder)
{
    KestrelScribeMFD& left = Open();
    KestrelScribeMFD& right = Open();
    host().AddObject("GL-01", 0.0);
    // A change made through one display shows on the other.
    ASSERT_TRUE(left.OnKey(0x1E));
    ASSERT_TRUE(left.OnKey(0x30));
    const FakeInputBox& box = host().inputBoxes.back();
    ASSERT_TRUE(box.callback(nullptr, "GL-01", box.userData));
    const std::vector<std::string> drawn = Draw(right);
    EXPECT_EQ(drawn, Draw(left));
    EXPECT_NE(std::find(drawn.begin(), drawn.end(), "text 4 37 On"), drawn.end());
    EXPECT_NE(std::find(drawn.begin(), drawn.end(), "text 4 70 GL-01"), drawn.end());
}

// ---- construction ----

TEST_F(DisplayConstruction, TakesTheFocusVesselAndLeavesTheRecordingRunning)
{
    recorder = Recording("GL-01");
    RecorderState expected = recorder;
    std::strcpy(expected.vesselName, "Probe 7");

    KestrelScribeMFD& display = Open();
    ExpectRecorderEq(expected);
    // Deleting a display changes nothing either.
    Close(display);
    ExpectRecorderEq(expected);
}

TEST_F(DisplayConstruction, WithNoObjectInFocusKeepsTheVesselAndNeverAsksForANullName)
{
    recorder = Recording("GL-01");
    const RecorderState expected = recorder;
    host().focus = nullptr;
    Open();
    ExpectRecorderEq(expected);
    EXPECT_EQ(host().CallCount("oapiGetObjectName"), 0);
}

TEST_F(DisplayConstruction, AFocusNameLongerThanTheBufferIsCutTo255Characters)
{
    for (const std::size_t length : {255u, 256u, 300u}) {
        SCOPED_TRACE(length);
        const std::string name(length, static_cast<char>('A' + length % 26));
        host().focus = host().AddObject(name, 0.0);
        Close(Open());
        EXPECT_EQ(std::string(recorder.vesselName), name.substr(0, 255));
    }
}

TEST_F(DisplayConstruction, CreatesTheDataFolderInTheCurrentFolder)
{
    const std::filesystem::path data = Folder() / "KestrelScribeData";
    ASSERT_FALSE(std::filesystem::exists(data));
    Open();
    EXPECT_TRUE(std::filesystem::is_directory(data));
    // A second display finds it there already; that is fine.
    std::filesystem::create_directory(data / "keep");
    recorder.vesselName[0] = '\0';
    Open();
    EXPECT_TRUE(std::filesystem::is_directory(data / "keep"));
    EXPECT_STREQ(recorder.vesselName, "Probe 7");
}

} // namespace
