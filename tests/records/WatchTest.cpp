// kestrel-records watch: its server in this process, on a free loopback
// port, over a folder of the test's own; the folder read on by calling its
// pass by hand, so that each step is seen in order. What the API answers is
// held against what plot and export make of the same lines, run as the
// program, and against samples worked out by hand.
#include <httplib.h>

#include "kestrel-records/watch/RecordIndex.h"
#include "kestrel-records/watch/WatchServer.h"
#include "kestrel-records/watch/WatchedFolder.h"
#include "tests/records/ToolRunner.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

// Line i of a made-up record: a sample every 0.1 s, the pitch a sawtooth
// of 0.01° steps over 1000 lines, so that every value is exact as printed.
std::string Line(long i)
{
    char text[96];
    std::snprintf(text, sizeof text, "%ld.%ld=pitch(%ld.%02ld, %ld.%02ld, 0.1)\n", i / 10, i % 10, (i % 1000) / 100,
                  (i % 1000) % 100, ((i + 1) % 1000) / 100, ((i + 1) % 1000) % 100);
    return text;
}

std::string Lines(long from, long to)
{
    std::string text;
    for (long i = from; i < to; ++i) {
        text += Line(i);
    }
    return text;
}

void Append(const fs::path& file, const std::string& bytes)
{
    std::ofstream out(file, std::ios::binary | std::ios::app);
    out << bytes;
}

// A server on a free port over `folder`, stopped when it goes.
class Served {
public:
    explicit Served(const fs::path& folder) : folder_(folder.string()), server_(folder_)
    {
        port_ = server_.Bind("127.0.0.1", 0);
        thread_ = std::thread([this] { server_.Run(); });
        Pass();
    }
    ~Served()
    {
        server_.Stop();
        thread_.join();
    }
    void Pass()
    {
        bool more = true;
        while (more) {
            folder_.Pass(more);
        }
    }
    int Port() const { return port_; }
    httplib::Result Get(const std::string& path, httplib::Headers headers = {})
    {
        httplib::Client client("127.0.0.1", port_);
        client.set_read_timeout(20, 0);
        return client.Get(path.c_str(), headers);
    }
    json Json(const std::string& path)
    {
        auto result = Get(path);
        EXPECT_TRUE(result) << path;
        if (!result) {
            return json();
        }
        EXPECT_EQ(result->status, 200) << path << ": " << result->body;
        return json::parse(result->body);
    }
    // The id the file list gives `name`; 0 for none.
    int Id(const std::string& name)
    {
        const json list = Json("/api/files");
        for (const json& file : list["files"]) {
            if (file["name"] == name) {
                return file["id"];
            }
        }
        return 0;
    }

private:
    WatchedFolder folder_;
    WatchServer server_;
    int port_ = 0;
    std::thread thread_;
};

// ---- the ranges against plot's reduction -----------------------------------------

struct RangeCase {
    const char* name;
    long lines;      // of the record
    double from, to; // from > to: the whole record
};

class WatchRange : public ::testing::TestWithParam<RangeCase> {};

// /api/svg of a range is plot's chart of the lines that meet it: the same
// series, reduced the same way, drawn by the same chart code.
TEST_P(WatchRange, ChartIsPlotsOfTheLinesInRange)
{
    const RangeCase& c = GetParam();
    const fs::path folder = FreshFolder("records");
    const fs::path alone = FreshFolder("alone");
    const std::string name = "Kestrel_601234567.txt";
    WriteFile(folder / name, Lines(0, c.lines));
    // The lines that meet [from, to]: line i spans [i / 10, (i + 1) / 10].
    long first = 0, last = c.lines;
    if (c.from <= c.to) {
        first = std::max(0L, static_cast<long>(std::ceil(c.from * 10 - 1e-9)) - 1);
        last = std::min(c.lines, static_cast<long>(std::floor(c.to * 10 + 1e-9)) + 1);
    }
    WriteFile(alone / name, Lines(first, last));
    Served served(folder);
    const int id = served.Id(name);
    ASSERT_GT(id, 0);
    const std::string range = c.from <= c.to ? "&from=" + std::to_string(c.from) + "&to=" + std::to_string(c.to) : "";
    auto svg = served.Get("/api/svg?files=" + std::to_string(id) + range);
    ASSERT_TRUE(svg);
    ASSERT_EQ(svg->status, 200) << svg->body;
    const ToolRun plot = RunRecords({"plot", (alone / name).string(), "-o", (alone / "pitch.svg").string()}, alone);
    ASSERT_EQ(plot.exitCode, 0) << plot.err;
    EXPECT_TRUE(svg->body == ReadFile(alone / "pitch.svg")) << "the chart differs from plot's of lines " << first
                                                           << " to " << last;
    EXPECT_LT(svg->body.size(), 1u << 20);
    // And the range itself: no more than four points a column.
    const json answer = served.Json("/api/range?file=" + std::to_string(id) + "&columns=300" + range);
    EXPECT_LE(answer["t"].size(), 4u * 300);
    EXPECT_EQ(answer["samples"], (last - first) + 1); // a line each, and the first line's start
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, WatchRange,
    ::testing::Values(RangeCase{"WholeShortRecord", 300, 1, 0},      // kept whole, a dot on each sample
                      RangeCase{"WholeLongRecord", 150000, 1, 0},    // the reduction kept as lines arrive
                      // Ends between two lines' starts, where no rounding of a sum decides.
                      RangeCase{"AcrossAMark", 150000, 6500.05, 6600.05}, // line 65537 starts at 6553.6 s
                      RangeCase{"InsideTheLastMark", 150000, 14000.05, 14999.95},
                      RangeCase{"FromTheStart", 150000, 0, 10.05}),
    [](const auto& param) { return std::string(param.param.name); });

// Zoomed in far, the page gets each sample exactly: lines 999 to 1003 of
// the record meet [100.0, 100.3] (line i spans i/10 to i/10 + 0.1).
TEST(WatchZoom, FarInTheSamplesAreExact)
{
    const fs::path folder = FreshFolder();
    WriteFile(folder / "Kestrel_601234567.txt", Lines(0, 150000));
    Served served(folder);
    const json answer = served.Json("/api/range?file=" + std::to_string(served.Id("Kestrel_601234567.txt")) +
                                    "&from=100.0&to=100.3&columns=800");
    // A line's end is its start plus its span, as plot adds them.
    EXPECT_EQ(answer["t"], json({99.9, 99.9 + 0.1, 100.0 + 0.1, 100.1 + 0.1, 100.2 + 0.1, 100.3 + 0.1}));
    EXPECT_EQ(answer["p"], json({9.99, 0.0, 0.01, 0.02, 0.03, 0.04}));
    EXPECT_EQ(answer["j"], json({0, 1, 1, 1, 1, 1}));
    EXPECT_EQ(answer["exact"], true);
}

// Zoomed out over most of a record, the page's points come from what runs of
// lines keep of their samples where a run fits a quarter column, and from
// the file at the range's ends: still only true samples, and in each column
// its true lowest and highest. The record's sawtooth (line i: pitch
// (i % 1000) / 100 at i / 10 s) rises by 0.01° a line from 0.00 to 9.99
// every 100 s: a column of 70 s or more holds a whole tooth, 0.00 to 9.99.
TEST(WatchZoom, OutTheColumnsKeepTheirExtremes)
{
    const fs::path folder = FreshFolder();
    WriteFile(folder / "Kestrel_601234567.txt", Lines(0, 150000));
    Served served(folder);
    const int columns = 50;
    const double from = 250.05, to = 14750.05; // 290 s a column; a run of 512 lines spans 51.2 s
    const json answer = served.Json("/api/range?file=" + std::to_string(served.Id("Kestrel_601234567.txt")) +
                                    "&from=250.05&to=14750.05&columns=" + std::to_string(columns));
    ASSERT_LE(answer["t"].size(), 4u * columns);
    std::vector<double> low(columns, 100), high(columns, -100);
    for (std::size_t k = 0; k < answer["t"].size(); ++k) {
        const double t = answer["t"][k], p = answer["p"][k];
        const long line = std::lround(t * 10);
        EXPECT_NEAR(t, line / 10.0, 1e-6);
        EXPECT_EQ(p, (line % 1000) / 100.0) << "no such sample at " << t;
        const int column = static_cast<int>((t - from) / (to - from) * columns);
        if (column >= 0 && column < columns) {
            low[column] = std::min(low[column], p);
            high[column] = std::max(high[column], p);
        }
    }
    for (int c = 0; c < columns; ++c) {
        EXPECT_EQ(low[c], 0.0) << "column " << c;
        EXPECT_EQ(high[c], 9.99) << "column " << c;
    }
}

// ---- following a file as it is written -------------------------------------------

TEST(WatchFollow, AHalfWrittenLineIsTakenOnceItEnds)
{
    const fs::path folder = FreshFolder();
    const fs::path file = folder / "Kestrel_601234567.txt";
    WriteFile(file, "0.0=pitch(1.00, 2.00, 0.1)\n0.1=pitch(2.00, 3.0");
    Served served(folder);
    const int id = served.Id("Kestrel_601234567.txt");
    EXPECT_EQ(served.Json("/api/files")["files"][0]["lines"], 1);
    EXPECT_EQ(served.Json("/api/line?file=" + std::to_string(id) + "&t=0.15")["number"], 1);
    Append(file, "0, 0.1)\n");
    served.Pass();
    EXPECT_EQ(served.Json("/api/files")["files"][0]["lines"], 2);
    const json line = served.Json("/api/line?file=" + std::to_string(id) + "&t=0.15");
    EXPECT_EQ(line["number"], 2);
    EXPECT_EQ(line["text"], "0.1=pitch(2.00, 3.00, 0.1)");
    EXPECT_EQ(served.Json("/api/files")["files"][0]["badLines"], 0);
}

struct RewriteCase {
    const char* name;
    std::string before;
    std::string after;
    bool passBetween; // the server looks in between truncating and writing
};

class WatchRewrite : public ::testing::TestWithParam<RewriteCase> {};

TEST_P(WatchRewrite, IsReadAgainFromTheStart)
{
    const RewriteCase& c = GetParam();
    const fs::path folder = FreshFolder();
    const fs::path file = folder / "Kestrel_601234567.txt";
    WriteFile(file, c.before);
    Served served(folder);
    const int id = served.Id("Kestrel_601234567.txt");
    if (c.passBetween) {
        WriteFile(file, "");
        served.Pass();
        EXPECT_EQ(served.Json("/api/files")["files"][0]["lines"], 0);
    }
    WriteFile(file, c.after);
    served.Pass();
    const json listed = served.Json("/api/files")["files"][0];
    EXPECT_EQ(listed["lines"], 2);
    EXPECT_GE(listed["generation"], 1);
    EXPECT_EQ(served.Json("/api/line?file=" + std::to_string(id) + "&t=5.05")["text"], "5.0=pitch(7.00, 8.00, 0.1)");
}

INSTANTIATE_TEST_SUITE_P(
    Rewrites, WatchRewrite,
    ::testing::Values(
        RewriteCase{"Shorter", Lines(0, 5), "4.9=pitch(6.00, 7.00, 0.1)\n5.0=pitch(7.00, 8.00, 0.1)\n", false},
        // Longer than before, with no look in between: only its bytes tell.
        RewriteCase{"LongerUnseen", Lines(0, 1), "4.9=pitch(6.00, 7.00, 0.1)\n5.0=pitch(7.00, 8.00, 0.1)\n", false},
        RewriteCase{"EmptiedThenWritten", Lines(0, 1), "4.9=pitch(6.00, 7.00, 0.1)\n5.0=pitch(7.00, 8.00, 0.1)\n",
                    true}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(WatchFollow, ABadLineIsNamedAsCheckNamesIt)
{
    const fs::path folder = FreshFolder();
    WriteFile(folder / "Kestrel_601234567.txt", Lines(0, 2) + "0.2=pitch(1.00, 2.00)\n" + Lines(3, 4));
    Served served(folder);
    const json listed = served.Json("/api/files")["files"][0];
    EXPECT_EQ(listed["lines"], 4);
    EXPECT_EQ(listed["badLines"], 1);
    const ToolRun check = RunRecords({"check", (folder / "Kestrel_601234567.txt").string()}, FreshFolder("check"));
    // check: "<path>: bad: line 3: <problem>: <excerpt> (...)"; the list: "line 3: <problem>: <excerpt>".
    const std::string named = listed["firstBad"];
    ASSERT_EQ(named.rfind("line 3: ", 0), 0u) << named;
    EXPECT_NE(check.out.find(": bad: " + named + " ("), std::string::npos) << check.out << "\n" << named;
    // The downloads refuse it, as plot and export do.
    EXPECT_EQ(served.Get("/api/csv?files=" + std::to_string(served.Id("Kestrel_601234567.txt")))->status, 400);
}

// The CSV of every line is export's, byte for byte.
TEST(WatchCsv, IsExportsTable)
{
    const fs::path folder = FreshFolder();
    WriteFile(folder / "Kestrel_601234567.txt", Lines(0, 70000));
    Served served(folder);
    auto csv = served.Get("/api/csv?files=" + std::to_string(served.Id("Kestrel_601234567.txt")));
    ASSERT_TRUE(csv);
    const ToolRun exported = RunRecords({"export", (folder / "Kestrel_601234567.txt").string()}, FreshFolder("export"));
    ASSERT_EQ(exported.exitCode, 0);
    EXPECT_TRUE(csv->body == exported.out);
    // A range: the lines that meet it, 1.0 to 1.2 s: lines 9 to 12.
    csv = served.Get("/api/csv?files=" + std::to_string(served.Id("Kestrel_601234567.txt")) + "&from=1.0&to=1.2");
    EXPECT_EQ(csv->body, "vessel,stamp,start_s,start_pitch_deg,end_pitch_deg,span_s\r\n"
                         "Kestrel,601234567,0.9,0.09,0.10,0.1\r\nKestrel,601234567,1.0,0.10,0.11,0.1\r\n"
                         "Kestrel,601234567,1.1,0.11,0.12,0.1\r\nKestrel,601234567,1.2,0.12,0.13,0.1\r\n");
}

// ---- attacks -----------------------------------------------------------------------

struct AttackCase {
    const char* name;
    std::string path;   // FILE stands for the file's id
    std::string host;   // "" : as the client sets it; PORT stands for the port served
    std::string origin; // "" : none
    int status;
};

class WatchAttack : public ::testing::TestWithParam<AttackCase> {};

TEST_P(WatchAttack, IsAnsweredSo)
{
    const AttackCase& c = GetParam();
    const fs::path folder = FreshFolder("served");
    const fs::path outside = FreshFolder("outside");
    WriteFile(folder / "Kestrel_601234567.txt", Lines(0, 10));
    WriteFile(outside / "Secret_601234567.txt", Lines(0, 10));
    fs::create_symlink(outside / "Secret_601234567.txt", folder / "Link_601234567.txt");
    Served served(folder);
    auto replace = [&](std::string text) {
        for (const auto& [from, to] : {std::pair<std::string, std::string>{"PORT", std::to_string(served.Port())},
                                       {"FILE", std::to_string(served.Id("Kestrel_601234567.txt"))}}) {
            for (std::size_t at; (at = text.find(from)) != std::string::npos;) {
                text.replace(at, from.size(), to);
            }
        }
        return text;
    };
    httplib::Headers headers;
    if (!c.host.empty()) {
        headers.emplace("Host", replace(c.host));
    }
    if (!c.origin.empty()) {
        headers.emplace("Origin", replace(c.origin));
    }
    auto result = served.Get(replace(c.path), headers);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, c.status) << result->body;
    EXPECT_EQ(result->body.find("Secret"), std::string::npos);
    // The link that leads out of the folder is not a file of it.
    EXPECT_EQ(served.Json("/api/files")["files"].size(), 1u);
}

std::string ManyFiles(int count)
{
    std::string list = "/api/csv?files=FILE";
    for (int i = 1; i < count; ++i) {
        list += ",FILE";
    }
    return list;
}

INSTANTIATE_TEST_SUITE_P(
    Attacks, WatchAttack,
    ::testing::Values(AttackCase{"ThePage", "/", "", "", 200},
                      AttackCase{"ThePageAsLocalhost", "/", "localhost:PORT", "", 200},
                      AttackCase{"ARebindingName", "/api/files", "evil.example:PORT", "", 403},
                      AttackCase{"AnotherPort", "/api/files", "127.0.0.1:1", "", 403},
                      AttackCase{"TheNameWithoutPort", "/api/files", "localhost", "", 403},
                      AttackCase{"AnotherOrigin", "/api/files", "", "http://evil.example", 403},
                      AttackCase{"ItsOwnOrigin", "/api/files", "", "http://127.0.0.1:PORT", 200},
                      AttackCase{"UpTheTree", "/../../etc/passwd", "", "", 404},
                      AttackCase{"UpTheTreeEncoded", "/%2e%2e/%2e%2e/etc/passwd", "", "", 404},
                      AttackCase{"APathForAFile", "/api/range?file=../../etc/passwd", "", "", 400},
                      AttackCase{"TheLinkByName", "/api/range?file=Link_601234567.txt", "", "", 400},
                      AttackCase{"AnIdNeverGiven", "/api/range?file=999", "", "", 400},
                      AttackCase{"MostFilesAtOnce", ManyFiles(32), "", "", 200},
                      AttackCase{"OneFileMore", ManyFiles(33), "", "", 400},
                      AttackCase{"MostColumns", "/api/range?file=FILE&columns=4096", "", "", 200},
                      AttackCase{"OneColumnMore", "/api/range?file=FILE&columns=4097", "", "", 400},
                      AttackCase{"ATimeNotFinite", "/api/line?file=FILE&t=inf", "", "", 400},
                      AttackCase{"FromAfterTo", "/api/range?file=FILE&from=2&to=1", "", "", 400}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(WatchAttacks, WritingIsRefused)
{
    const fs::path folder = FreshFolder();
    WriteFile(folder / "Kestrel_601234567.txt", Lines(0, 10));
    Served served(folder);
    httplib::Client client("127.0.0.1", served.Port());
    auto result = client.Post("/api/files", "x", "text/plain");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 405);
    EXPECT_EQ(ReadFile(folder / "Kestrel_601234567.txt"), Lines(0, 10));
}

// ---- stamps --------------------------------------------------------------------

struct StampCase {
    const char* stamp;
    const char* utc;
};

class WatchStamp : public ::testing::TestWithParam<StampCase> {};

TEST_P(WatchStamp, ReadsAsUtc)
{
    EXPECT_EQ(StampAsUtc(GetParam().stamp), GetParam().utc);
}

// MJD 40587 is 1970-01-01, MJD 0 1858-11-17; a stamp counts 8.64 s.
INSTANTIATE_TEST_SUITE_P(Stamps, WatchStamp,
                         ::testing::Values(StampCase{"405870000", "1970-01-01 00:00:00 UTC"},
                                           StampCase{"405875000", "1970-01-01 12:00:00 UTC"},
                                           StampCase{"601234567", "2023-06-28 10:57:38 UTC"},
                                           StampCase{"0", "1858-11-17 00:00:00 UTC"},
                                           StampCase{"-1", "1858-11-16 23:59:51 UTC"},
                                           StampCase{"12a", ""}, StampCase{"", ""},
                                           StampCase{"999999999999", "275649-07-29 23:59:51 UTC"},
                                           StampCase{"1000000000000", ""}));

} // namespace
