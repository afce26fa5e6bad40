// Keys, buttons, the button menu and the two input boxes of the display.
#include "tests/support/DisplayFixture.h"

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

constexpr DWORD kRecordKey = 0x1E;   // A
constexpr DWORD kVesselKey = 0x30;   // B
constexpr DWORD kIntervalKey = 0x31; // N

// ---- button labels and the button menu ----

using DisplayButtons = DisplayFixture;

TEST_F(DisplayButtons, LabelsTheThreeButtonsAndNoOther)
{
    KestrelScribeMFD& display = Open();
    EXPECT_STREQ(display.ButtonText(0), "REC");
    EXPECT_STREQ(display.ButtonText(1), "VES");
    EXPECT_STREQ(display.ButtonText(2), "INT");
    EXPECT_EQ(display.ButtonText(3), nullptr);
    EXPECT_EQ(display.ButtonText(-1), nullptr);
}

TEST_F(DisplayButtons, MenuIsThreePackedRecordsAsTheHostReadsThem)
{
    KestrelScribeMFD& display = Open();
    const ButtonMenuEntry* menu = nullptr;
    ASSERT_EQ(display.ButtonMenuTable(&menu), 3);
    ASSERT_NE(menu, nullptr);

    // Each record: two text pointers, then the character; the next record
    // starts at the byte right after it.
    constexpr std::size_t kRecord = 2 * sizeof(void*) + 1;
    const struct {
        const char* line;
        char selection;
    } expected[] = {{"Record On/Off", 'A'}, {"Select Vessel", 'B'}, {"Data Interval", 'N'}};
    const auto* bytes = reinterpret_cast<const unsigned char*>(menu);
    for (std::size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(expected[i].line);
        const char* line1 = nullptr;
        const char* line2 = reinterpret_cast<const char*>(1);
        char selection = 0;
        std::memcpy(&line1, bytes + i * kRecord, sizeof line1);
        std::memcpy(&line2, bytes + i * kRecord + sizeof(void*), sizeof line2);
        std::memcpy(&selection, bytes + i * kRecord + 2 * sizeof(void*), 1);
        ASSERT_NE(line1, nullptr);
        EXPECT_STREQ(line1, expected[i].line);
        EXPECT_EQ(line2, nullptr);
        EXPECT_EQ(selection, expected[i].selection);
    }
}

TEST_F(DisplayButtons, MenuQueryWithNoAddressStillCountsThree)
{
    EXPECT_EQ(Open().ButtonMenuTable(nullptr), 3);
}

// Records the keys that reach the virtual slot.
class KeySpyDisplay : public KestrelScribeMFD {
public:
    KeySpyDisplay() : KestrelScribeMFD(256, 200, nullptr, 0) {}
    bool OnKey(DWORD key) override
    {
        keys.push_back(key);
        return KestrelScribeMFD::OnKey(key);
    }
    std::vector<DWORD> keys;
};

TEST_F(DisplayButtons, APressedButtonSendsItsKeyThroughTheVirtualSlot)
{
    struct Case {
        int button, event;
        bool result;
        std::vector<DWORD> keys;
    };
    const Case cases[] = {
        {0, 1, true, {kRecordKey}},
        {1, 1, true, {kVesselKey}},
        {2, 1, true, {kIntervalKey}},
        {2, 0x7, true, {kIntervalKey}}, // other bits set with bit 0
        {0, 0, false, {}},              // no bit 0: not a press
        {1, 2, false, {}},
        {2, 0x40000000, false, {}},
        {3, 1, false, {}},
        {-1, 1, false, {}},
        {1000, 1, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("button " + std::to_string(c.button) + " event " + std::to_string(c.event));
        KeySpyDisplay display;
        EXPECT_EQ(display.OnButton(c.button, c.event), c.result);
        EXPECT_EQ(display.keys, c.keys);
    }
}

TEST_F(DisplayButtons, AnEventWithoutBitZeroChangesNothing)
{
    recorder = Recording("Probe 7");
    recorder.recording = 0;
    const RecorderState expected = recorder;
    KestrelScribeMFD& display = Open();
    for (int button = 0; button < 3; ++button) {
        EXPECT_FALSE(display.OnButton(button, 2));
    }
    ExpectRecorderEq(expected);
    EXPECT_TRUE(host().inputBoxes.empty());
}

// ---- keys ----

using DisplayKeys = DisplayFixture;

TEST_F(DisplayKeys, RecordToggleSwitchesBetweenOffAndOnOnly)
{
    struct Case {
        int recording;
        int fileStarted;
        int recordingAfter;
        int fileStartedAfter;
    };
    const Case cases[] = {
        {0, 1, 1, 0}, // on: the next line begins a new data file
        {1, 1, 0, 1}, // off: the file stays started
        {1, 0, 0, 0},
        {2, 1, 2, 1}, // neither on nor off: left alone
        {-3, 0, -3, 0},
    };
    KestrelScribeMFD& display = Open();
    for (const Case& c : cases) {
        SCOPED_TRACE("recording " + std::to_string(c.recording));
        recorder = Recording("Probe 7");
        recorder.recording = c.recording;
        recorder.fileStarted = c.fileStarted;
        RecorderState expected = recorder;
        expected.recording = c.recordingAfter;
        expected.fileStarted = c.fileStartedAfter;
        host().invalidated.clear();

        EXPECT_TRUE(display.OnKey(kRecordKey));
        ExpectRecorderEq(expected);
        EXPECT_TRUE(host().invalidated.empty()); // shows at the host's next redraw
    }
}

TEST_F(DisplayKeys, InputKeysOpenTheirBoxes)
{
    struct Case {
        DWORD key;
        const char* title;
        InputCallback callback;
    };
    const Case cases[] = {
        {kVesselKey, "Enter Vessel Name", OnVesselEntered},
        {kIntervalKey, "Enter Data Point Interval", OnIntervalEntered},
    };
    KestrelScribeMFD& display = Open();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        host().inputBoxes.clear();
        EXPECT_TRUE(display.OnKey(c.key));
        ASSERT_EQ(host().inputBoxes.size(), 1u);
        const FakeInputBox& box = host().inputBoxes[0];
        EXPECT_EQ(box.title, c.title);
        EXPECT_EQ(box.callback, c.callback);
        EXPECT_EQ(box.initialText, nullptr);
        EXPECT_EQ(box.visibleLength, 30);
        EXPECT_EQ(box.userData, static_cast<void*>(&display));
    }
}

TEST_F(DisplayKeys, OtherKeysAreNotTaken)
{
    recorder = Recording("Probe 7");
    const RecorderState expected = recorder;
    KestrelScribeMFD& display = Open();
    // 0x19 opens the mode, not a command; 0x11E is 0x1E with a high bit.
    for (const DWORD key : {0x00u, 0x19u, 0x1Fu, 0x2Fu, 0x32u, 0x11Eu, 0xFFFFFFFFu}) {
        SCOPED_TRACE(key);
        EXPECT_FALSE(display.OnKey(key));
    }
    ExpectRecorderEq(expected);
    EXPECT_TRUE(host().inputBoxes.empty());
}

// ---- the vessel box ----

class VesselBox : public DisplayFixture {
protected:
    void SetUp() override
    {
        DisplayFixture::SetUp();
        host().AddObject("probe 7", 0.0); // differs from Probe 7 in case only
        host().AddObject("GL-01", 0.0);
        display_ = &Open();
        recorder = Recording("Probe 7");
    }

    bool Enter(const char* text) { return OnVesselEntered(nullptr, text, display_); }

    // What a change of vessel leaves: the new name on a fresh time axis,
    // the switch, the interval and the stamp as they were.
    static RecorderState Changed(const char* name)
    {
        RecorderState state = Recording(name);
        state.fileStarted = 0;
        state.elapsed = state.nextSample = state.lastTime = state.lastPitch = state.pitch = state.span = 0;
        state.sampledVessel[0] = '\0';
        return state;
    }

    KestrelScribeMFD* display_ = nullptr;
};

TEST_F(VesselBox, TheSameNameIsTakenAndChangesNothing)
{
    EXPECT_TRUE(Enter("Probe 7"));
    ExpectRecorderEq(Recording("Probe 7"));
    EXPECT_TRUE(host().invalidated.empty());
}

TEST_F(VesselBox, ANameNoObjectBearsIsRefused)
{
    for (const char* text : {"Nobody", "", "Probe 7 ", "Probe"}) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(Enter(text));
        ExpectRecorderEq(Recording("Probe 7"));
    }
    EXPECT_FALSE(Enter(nullptr));
    ExpectRecorderEq(Recording("Probe 7"));
    EXPECT_TRUE(host().invalidated.empty());
}

TEST_F(VesselBox, ANameDifferingInLetterCaseIsANewVessel)
{
    EXPECT_TRUE(Enter("probe 7"));
    ExpectRecorderEq(Changed("probe 7"));
    EXPECT_EQ(host().invalidated, std::vector<const MFD*>{display_});
}

TEST_F(VesselBox, AnotherVesselStartsAFreshTimeAxisAndGoesOnRecording)
{
    EXPECT_TRUE(Enter("GL-01"));
    ExpectRecorderEq(Changed("GL-01"));
    EXPECT_EQ(host().invalidated, std::vector<const MFD*>{display_});
}

TEST_F(VesselBox, ANameIsTakenOnlyWhenItsDataFileNameCanFit)
{
    // "KestrelScribeData\" (18) + name + "_" (1) + the widest stamp
    // "-2147483648" (11) + ".txt" (4) <= 255: names of up to 221 characters.
    // The host knows every vessel here; a longer name is refused outright,
    // not cut (cut to 221 it would name the first vessel).
    struct Case {
        std::size_t length;
        bool accepted;
    };
    const Case cases[] = {{221, true}, {222, false}, {255, false}, {256, false}, {5000, false}};
    for (const Case& c : cases) {
        host().AddObject(std::string(c.length, 'n'), 0.0);
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        recorder = Recording("Probe 7");
        const std::string name(c.length, 'n');
        EXPECT_EQ(Enter(name.c_str()), c.accepted);
        ExpectRecorderEq(c.accepted ? Changed(name.c_str()) : Recording("Probe 7"));
    }
}

TEST_F(VesselBox, AnAnswerAfterTheDisplayWasDeletedIsAppliedWithoutTouchingIt)
{
    ASSERT_TRUE(display_->OnKey(kVesselKey));
    const FakeInputBox box = host().inputBoxes.back();
    Close(*display_);

    EXPECT_TRUE(box.callback(nullptr, "GL-01", box.userData));
    ExpectRecorderEq(Changed("GL-01"));
    EXPECT_TRUE(host().invalidated.empty()); // no display is left to redraw
}

// ---- the interval box ----

class IntervalBox : public DisplayFixture {
protected:
    void SetUp() override
    {
        DisplayFixture::SetUp();
        display_ = &Open();
        recorder.interval = 10.0;
        recorder.intervalEntry = 0.0f; // nothing parsed yet
    }

    void TearDown() override
    {
        std::setlocale(LC_ALL, "C");
        DisplayFixture::TearDown();
    }

    bool Enter(const char* text) { return OnIntervalEntered(nullptr, text, display_); }

    KestrelScribeMFD* display_ = nullptr;
};

struct IntervalCase {
    const char* text;
    bool accepted;
    double interval; // after the entry; 10 when refused
};

TEST_F(IntervalBox, TakesOnlyAPositiveNumber)
{
    const IntervalCase cases[] = {
        {"2.5", true, 2.5},
        {"  42", true, 42.0},
        {"2.5junk", true, 2.5},           // the scan stops at the first non-number
        {"+7e1", true, 70.0},
        {"3.4e38", true, static_cast<double>(3.4e38f)},
        // Halfway from the largest float, 2^128 - 2^104, to 2^128 lies
        // 3.40282356779...e38: below it the largest float, above it too large.
        {"3.4028235e38", true, static_cast<double>(std::numeric_limits<float>::max())},
        {"3.4028236e38", false, 10.0},
        // Halfway from the smallest float, 2^-149, to 0 lies 7.00649232...e-46.
        {"7.0064924e-46", true, std::ldexp(1.0, -149)},
        {"7.0064923e-46", false, 10.0}, // 0: not above 0
        // 0.1 × 2^27 = 13421772.8 → 13421773: the float nearest 0.1 is
        // 13421773 / 2^27, slightly above 0.1.
        {"0.1", true, 13421773.0 / 134217728.0},
        {"0", false, 10.0},
        {"-5", false, 10.0},
        {"-0", false, 10.0},
        {"1e-50", false, 10.0},           // too small for a float: zero
        {"1e39", false, 10.0},            // too large for a float
        {"-1e39", false, 10.0},
        {"", false, 10.0},                // no number and none parsed yet
        {"abc", false, 10.0},
        {"inf", false, 10.0},
        {"nan", false, 10.0},
        {"-inf", false, 10.0},
        {"infinity", false, 10.0},
        {".", false, 10.0},
        {"e5", false, 10.0},
    };
    for (const IntervalCase& c : cases) {
        SCOPED_TRACE(std::string("\"") + c.text + "\"");
        recorder.interval = 10.0;
        recorder.intervalEntry = 0.0f;
        host().invalidated.clear();
        EXPECT_EQ(Enter(c.text), c.accepted);
        EXPECT_EQ(recorder.interval, c.interval);
        EXPECT_EQ(host().invalidated, c.accepted ? std::vector<const MFD*>{display_} : std::vector<const MFD*>{});
    }
}

TEST_F(IntervalBox, AnAcceptedIntervalShowsOnTheDisplayAndKeepsTheSchedule)
{
    recorder.nextSample = 40.0;
    ASSERT_TRUE(Enter("2.5"));
    EXPECT_EQ(recorder.nextSample, 40.0);
    RecordingCanvas canvas;
    display_->Redraw(&canvas);
    EXPECT_NE(std::find(canvas.log.begin(), canvas.log.end(), "text 4 103 2.5 Seconds"), canvas.log.end());
}

TEST_F(IntervalBox, ATextWithNoNumberAppliesTheLastNumberAgain)
{
    for (const char* noNumber : {"", "abc", "inf", "nan", "-inf", "   "}) {
        SCOPED_TRACE(std::string("\"") + noNumber + "\"");
        ASSERT_TRUE(Enter("2.5"));
        recorder.interval = 7.0;
        EXPECT_TRUE(Enter(noNumber));
        EXPECT_EQ(recorder.interval, 2.5);
    }
}

TEST_F(IntervalBox, ATextWithNoNumberIsRefusedAfterARefusedNumber)
{
    for (const char* refused : {"0", "-5"}) {
        SCOPED_TRACE(refused);
        ASSERT_TRUE(Enter("2.5"));
        EXPECT_FALSE(Enter(refused));
        EXPECT_FALSE(Enter(""));
        EXPECT_EQ(recorder.interval, 2.5);
    }
}

TEST_F(IntervalBox, ANumberTooLargeIsNotRemembered)
{
    ASSERT_TRUE(Enter("2.5"));
    EXPECT_FALSE(Enter("1e39"));
    EXPECT_EQ(recorder.interval, 2.5);
    EXPECT_EQ(recorder.intervalEntry, 2.5f);
    recorder.interval = 7.0;
    EXPECT_TRUE(Enter("x")); // the last number is still 2.5
    EXPECT_EQ(recorder.interval, 2.5);
}

TEST_F(IntervalBox, NoTextIsRefused)
{
    ASSERT_TRUE(Enter("2.5"));
    EXPECT_FALSE(Enter(nullptr));
    EXPECT_EQ(recorder.interval, 2.5);
}

TEST_F(IntervalBox, ReadsADecimalPointWhateverTheProcessLocale)
{
    const char* commaLocale = nullptr;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "de_DE", "fr_FR"}) {
        if (std::setlocale(LC_ALL, name) != nullptr) {
            commaLocale = name;
            break;
        }
    }
    if (commaLocale == nullptr || std::strcmp(std::localeconv()->decimal_point, ",") != 0) {
        GTEST_SKIP() << "no locale with a decimal comma is installed (scripts/install-deps.sh generates de_DE.UTF-8)";
    }
    EXPECT_TRUE(Enter("2.5"));
    EXPECT_EQ(recorder.interval, 2.5);
    EXPECT_TRUE(Enter("3,75")); // the comma ends the number
    EXPECT_EQ(recorder.interval, 3.0);
}

TEST_F(IntervalBox, AnAnswerAfterTheDisplayWasDeletedIsAppliedWithoutTouchingIt)
{
    ASSERT_TRUE(display_->OnKey(kIntervalKey));
    const FakeInputBox box = host().inputBoxes.back();
    Close(*display_);
    EXPECT_TRUE(box.callback(nullptr, "2.5", box.userData));
    EXPECT_EQ(recorder.interval, 2.5);
    EXPECT_TRUE(host().invalidated.empty());
}

} // namespace
