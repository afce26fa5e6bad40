// The display's block in the host's scenario files: REC, INT and VES.
#include "tests/support/DisplayFixture.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

class ScenarioStatus : public DisplayFixture {
protected:
    void SetUp() override
    {
        DisplayFixture::SetUp();
        display_ = &Open(); // takes "Probe 7", the focus vessel
    }

    std::vector<FakeScenarioItem> Write()
    {
        host().scenarioItems.clear();
        display_->WriteToScenario(nullptr);
        return host().scenarioItems;
    }

    void Read(const std::vector<std::string>& lines)
    {
        host().scenarioLines.assign(lines.begin(), lines.end());
        display_->ReadFromScenario(nullptr);
    }

    KestrelScribeMFD* display_ = nullptr;
};

// ---- writing ----

TEST_F(ScenarioStatus, WritesTheSwitchTheIntervalAndTheNameInThatOrder)
{
    struct Case {
        int recording;
        double interval;
        std::string name;
        std::vector<FakeScenarioItem> items;
    };
    const Case cases[] = {
        {1, 10.0, "Probe 7", {{"REC", "1"}, {"INT", "10.00"}, {"VES", "Probe&7"}}},
        // 0.0049 cuts after 0.00 with 4 first cut off: 0.00.
        {0, 0.0049, "A B  C", {{"REC", "0"}, {"INT", "0.00"}, {"VES", "A&B&&C"}}},
        // 0.005 is stored as 0.005000000000000000104…: its 17 digits are
        // 5.0000000000000001e-3, cut after 0.00 with 5 first: up to 0.01.
        {2, 0.005, "A&B", {{"REC", "2"}, {"INT", "0.01"}, {"VES", "A&B"}}},
        {-7, -3.0, "", {{"REC", "-7"}, {"INT", "-3.00"}, {"VES", ""}}},
        {1, 1234.565, " Lead", {{"REC", "1"}, {"INT", "1234.57"}, {"VES", "&Lead"}}},
        // 1e251 is stored as 1.0000000000000000482…e251: its 17 digits are 1
        // and 16 zeros, so "%0.2f" gives 1, 251 zeros and ".00": 255
        // characters, written whole; with a minus sign, 256. The double below
        // 1e252 (doubles there lie 2^785 = 2.03e236 apart) is
        // 9.99999999999999895660…e251: its 18th digit 5 rounds the 17 up to
        // 99999999999999990, then 235 zeros and ".00": 255 characters, the
        // last to fit. 1e252 (1.0000000000000000991…e252) gives 256, the
        // first too long: it goes in the shortest exponent form that reads
        // back as the same double, as does -1e251.
        {1, 1e251, "P", {{"REC", "1"}, {"INT", "1" + std::string(251, '0') + ".00"}, {"VES", "P"}}},
        {1, std::nextafter(1e252, 0.0), "P",
         {{"REC", "1"}, {"INT", "99999999999999990" + std::string(235, '0') + ".00"}, {"VES", "P"}}},
        {1, 1e252, "P", {{"REC", "1"}, {"INT", "1e+252"}, {"VES", "P"}}},
        {1, -1e251, "P", {{"REC", "1"}, {"INT", "-1e+251"}, {"VES", "P"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        recorder.recording = c.recording;
        recorder.interval = c.interval;
        std::strcpy(recorder.vesselName, c.name.c_str());
        EXPECT_EQ(Write(), c.items);
        EXPECT_EQ(std::string(recorder.vesselName), c.name); // the blanks stay in the recorder
    }
}

TEST_F(ScenarioStatus, WritesALongestNameWhole)
{
    std::string name(255, 'x');
    name[0] = name[128] = name[254] = ' ';
    std::strcpy(recorder.vesselName, name.c_str());
    std::string written = name;
    written[0] = written[128] = written[254] = '&';
    const auto items = Write();
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[2], (FakeScenarioItem{"VES", written}));
}

TEST_F(ScenarioStatus, ASavedBlockHoldsItsThreeItemsWhateverControlCharactersTheNameHas)
{
    // Each control character c (0x01 to 0x1F, 0x7F) in the name "P" c "REC" c
    // "5" is written as '_'. The block, as the host writes it (a line per
    // item: key, blank, value), then holds three lines and reads back as
    // written: the switch stays 1 and the name is P_REC_5. A line feed or
    // carriage return left in would give the block items of its own (REC,
    // 5), a tab or form feed would end the name on reading.
    std::vector<char> controls;
    for (int c = 0x01; c < 0x20; ++c) {
        controls.push_back(static_cast<char>(c));
    }
    controls.push_back('\x7F');
    for (const char c : controls) {
        SCOPED_TRACE(static_cast<int>(c));
        recorder.recording = 1;
        recorder.interval = 2.5;
        const std::string name = std::string("P") + c + "REC" + c + "5";
        std::strcpy(recorder.vesselName, name.c_str());
        std::string block;
        for (const FakeScenarioItem& item : Write()) {
            block += item.key + " " + item.value + "\n";
        }
        std::vector<std::string> lines;
        for (std::size_t begin = 0, end; begin < block.size(); begin = end + 1) {
            end = block.find_first_of("\r\n", begin);
            lines.push_back(block.substr(begin, end - begin));
        }
        EXPECT_EQ(lines, (std::vector<std::string>{"REC 1", "INT 2.50", "VES P_REC_5"}));
        EXPECT_EQ(std::string(recorder.vesselName), name); // the recorder keeps the name
        Read(lines);
        EXPECT_EQ(recorder.recording, 1);
        EXPECT_EQ(std::string(recorder.vesselName), "P_REC_5");
    }
}

TEST_F(ScenarioStatus, AnIntervalTooLongForTheLineIsNeverWrittenCut)
{
    // "%0.2f" of 1e300 has 301 digits and two decimals; cut to 255
    // characters it would read back as another number.
    recorder.interval = 1e300;
    for (const FakeScenarioItem& item : Write()) {
        SCOPED_TRACE(item.key);
        EXPECT_LE(item.value.size(), 255u);
        if (item.key == "INT") {
            EXPECT_EQ(std::strtod(item.value.c_str(), nullptr), 1e300);
        }
    }
}

// ---- reading ----

struct ReadCase {
    std::vector<std::string> lines;
    int recording;
    double interval;
    std::string name;
};

TEST_F(ScenarioStatus, ReadsEachKeyIgnoringLetterCaseAndTakesValuesAsRead)
{
    // Before each block: recording 1, interval 2.5, vessel "Probe 7".
    const ReadCase cases[] = {
        {{"REC 1", "INT 10.00", "VES Probe&7"}, 1, 10.0, "Probe 7"},
        {{"rec 0"}, 0, 2.5, "Probe 7"},
        {{"Rec\t0"}, 0, 2.5, "Probe 7"},
        {{"REC 0 1"}, 0, 2.5, "Probe 7"},
        {{"RECORD 0"}, 1, 2.5, "Probe 7"},  // "ORD 0" holds no number
        {{"REC 2"}, 2, 2.5, "Probe 7"},     // neither on nor off, as read
        {{"REC -4"}, -4, 2.5, "Probe 7"},   // no range check
        {{"REC 2147483647"}, 2147483647, 2.5, "Probe 7"},
        {{"REC 2147483648"}, 1, 2.5, "Probe 7"}, // beyond 32 bits
        {{"REC -2147483648"}, -2147483647 - 1, 2.5, "Probe 7"},
        {{"REC -2147483649"}, 1, 2.5, "Probe 7"},
        {{"REC 99999999999"}, 1, 2.5, "Probe 7"},
        {{"REC"}, 1, 2.5, "Probe 7"},
        {{"REC   "}, 1, 2.5, "Probe 7"},
        {{"INT 0.00"}, 1, 0.0, "Probe 7"},
        {{"int 10.00"}, 1, 10.0, "Probe 7"},
        {{"INT -3"}, 1, -3.0, "Probe 7"},   // no range check
        {{"INT 2,5"}, 1, 2.0, "Probe 7"},   // a decimal point, always
        // The largest double, 1.7976931348623157e308; halfway to 2^1024 lies
        // 1.79769313486231580794e308.
        {{"INT 1.7976931348623158e308"}, 1, std::numeric_limits<double>::max(), "Probe 7"},
        {{"INT 1.7976931348623159e308"}, 1, 2.5, "Probe 7"}, // beyond a double
        {{"INT 1e400"}, 1, 2.5, "Probe 7"},
        {{"INT -1e400"}, 1, 2.5, "Probe 7"},
        {{"INT nan"}, 1, 2.5, "Probe 7"},
        {{"INT inf"}, 1, 2.5, "Probe 7"},
        {{"INTERVAL 5"}, 1, 2.5, "Probe 7"}, // "ERVAL 5" holds no number
        {{"VES GL-01"}, 1, 2.5, "GL-01"},
        {{"ves Lander&2"}, 1, 2.5, "Lander 2"},
        {{"VES A&&B&"}, 1, 2.5, "A  B "},   // a name that had '&' comes back with blanks
        {{"VES two words"}, 1, 2.5, "two"},
        {{"VES"}, 1, 2.5, "Probe 7"},       // no value: the constructor's name stays
        {{"VES    "}, 1, 2.5, "Probe 7"},
        {{"VES " + std::string(255, 'v')}, 1, 2.5, std::string(255, 'v')},
        {{"VES " + std::string(256, 'w')}, 1, 2.5, std::string(255, 'w')},
        {{"VES " + std::string(5000, 'v')}, 1, 2.5, std::string(255, 'v')},
        // Carriage return, vertical tab and form feed are blanks: before the
        // value, and at its end (a scenario saved with CRLF line ends).
        {{"REC\r0\r", "INT\v5\v", "VES\fA\fB"}, 0, 5.0, "A"},
        {{"REC 0\r", "INT 5\r", "VES Probe\r"}, 0, 5.0, "Probe"},
        {{"VES\rA\rB"}, 1, 2.5, "A"},
        {{"VES\vA\vB"}, 1, 2.5, "A"},
        {{"XYZ 5", "FOO", "", "R", "RE", "  REC 0", "#INT 4", "VE"}, 1, 2.5, "Probe 7"},
        {{"REC 0", "REC 1", "INT 4", "INT 5"}, 1, 5.0, "Probe 7"}, // the last line wins
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.lines.front());
        recorder.recording = 1;
        recorder.interval = 2.5;
        std::strcpy(recorder.vesselName, "Probe 7");
        Read(c.lines);
        EXPECT_EQ(recorder.recording, c.recording);
        EXPECT_EQ(recorder.interval, c.interval);
        EXPECT_EQ(std::string(recorder.vesselName), c.name);
    }
}

TEST_F(ScenarioStatus, ReadingSetsOnlyTheThreeSettings)
{
    recorder = Recording("Probe 7");
    RecorderState expected = recorder;
    expected.recording = 0;
    expected.interval = 5.0;
    std::strcpy(expected.vesselName, "GL-01");
    Read({"REC 0", "INT 5", "VES GL-01"});
    ExpectRecorderEq(expected); // the time axis, the schedule and fileStarted carry on
    EXPECT_TRUE(host().invalidated.empty());
}

TEST_F(ScenarioStatus, ABlockWithoutANameStillTurnsAmpersandsIntoBlanks)
{
    host().focus = host().AddObject("A&B", 0.0);
    KestrelScribeMFD& restored = Open();
    ASSERT_STREQ(recorder.vesselName, "A&B");
    host().scenarioLines = {"REC 1"};
    restored.ReadFromScenario(nullptr);
    EXPECT_STREQ(recorder.vesselName, "A B");
}

TEST_F(ScenarioStatus, WhatIsWrittenReadsBack)
{
    struct Case {
        int recording;
        double interval;
        std::string name;
        double intervalRead;
        std::string nameRead;
    };
    const Case cases[] = {
        {1, 10.0, "Probe 7", 10.0, "Probe 7"},
        {0, 0.004, "GL-01", 0.0, "GL-01"}, // written as 0.00
        // The smallest subnormal, 4.94e-324, is written as 0.00 too.
        {0, std::numeric_limits<double>::denorm_min(), "GL-01", 0.0, "GL-01"},
        {2, 2.5, "A&B C", 2.5, "A B C"},
        // Too long for two decimals: written in exponent form, every bit
        // comes back (the largest double is 1.7976931348623157e+308).
        {1, 1e252, "P", 1e252, "P"},
        {1, 1e308, "P", 1e308, "P"},
        {1, std::numeric_limits<double>::max(), "P", std::numeric_limits<double>::max(), "P"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        recorder.recording = c.recording;
        recorder.interval = c.interval;
        std::strcpy(recorder.vesselName, c.name.c_str());
        std::vector<std::string> lines;
        for (const FakeScenarioItem& item : Write()) {
            lines.push_back(item.key + " " + item.value);
        }
        recorder = RecorderState{};
        Read(lines);
        EXPECT_EQ(recorder.recording, c.recording);
        EXPECT_EQ(recorder.interval, c.intervalRead);
        EXPECT_EQ(std::string(recorder.vesselName), c.nameRead);
    }
}

} // namespace
