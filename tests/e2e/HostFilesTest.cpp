// The host's files, through the real kestrel-host and plug-in: data files
// written through as the module writes them (a killed run keeps whole,
// correct lines; a line costs one open, one write and one close), outputs
// kept inside the root and out of the data folder, files planted at a data
// file's path neither followed nor waited on, and the progress line.
#include "tests/e2e/HostRunner.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <regex>
#include <thread>

namespace fs = std::filesystem;
using ::testing::HasSubstr;

namespace {

const std::string kDataFile = "KestrelScribeData/Probe 7_613815001.txt";

// three-lines.json with `extra` (an event's action, at step 31) added: it
// writes kDataFile's three lines (HostE2eTest.cpp, Records).
std::string ThreeLineFlight(const std::string& extra)
{
    std::string events = R"({"step": 0, "open": "left", "width": 256, "height": 200, "char_width": 8, "char_height": 10},
                            {"step": 0, "display": "left", "button": 0})";
    if (!extra.empty()) {
        events += ",\n{\"step\": 31, " + extra + "}";
    }
    return R"({"clock_mjd": 61381.5,
               "vessels": [{"name": "Probe 7", "pitch_deg": [[0, 5], [10, 7.5], [20, 9], [30, 9.5]]}],
               "steps": [{"dt": 1.0, "count": 31}],
               "events": [)" +
           events + "]}";
}

fs::path WriteFlight(const fs::path& file, const std::string& text)
{
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text;
    return file;
}

// Every entry under `folder` but the runner's own files: a regular file by
// its content, anything else by its kind (a link by where it points). Read
// without following links and without opening anything but plain files.
std::map<std::string, std::string> Entries(const fs::path& folder)
{
    std::map<std::string, std::string> entries;
    for (auto it = fs::recursive_directory_iterator(folder); it != fs::recursive_directory_iterator(); ++it) {
        const std::string entry = it->path().lexically_relative(folder).generic_string();
        if (entry == "stdout.txt" || entry == "stderr.txt" || entry == "trace.txt" || entry == "flight.json") {
            continue;
        }
        const fs::path path = folder / entry;
        const fs::file_status status = fs::symlink_status(path);
        if (fs::is_symlink(status)) {
            entries[entry] = "link to " + fs::read_symlink(path).string();
        } else if (fs::is_regular_file(status)) {
            entries[entry] = ReadFile(path);
        } else if (fs::is_directory(status)) {
            entries[entry] = "folder";
        } else {
            entries[entry] = "other";
        }
    }
    return entries;
}

} // namespace

// ---- outputs that escape, files planted where the module writes ----

enum class Plant {
    Nothing,
    LinkAtDataFile,   // root/KestrelScribeData/<first data file> -> ../../outside.txt
    FifoAtDataFile,   // a FIFO there, with no reader
    LinkAtDataFolder, // root/KestrelScribeData -> ../elsewhere
    LinkOutOfRoot,    // root/out -> ../elsewhere
    LinkInsideRoot,   // root/link -> shots (root/shots)
    DataFolderIsAFile,  // root/KestrelScribeData, a plain file
    UnendedLine,      // the first data file, holding one line with no line end
    EndedLine,        // the same line with its line end
    OldFile,          // root/kept.txt, two lines
    ScenarioInRoot,   // root/in.scn, a scenario with one block, and root/alias.scn, a hard link to it
    StaleTemporary,   // root/.x.scn.PPPPPPPP, as a killed run of this process id leaves it
    FlightAtDataFile, // the first data file, a hard link to the flight file
    OutsideAtDataFile, // the first data file, a hard link to outside.txt
    ModuleInRoot,     // root/plug.so, a copy of the module the run loads (--module)
    DanglingRoot,     // root -> nowhere
    TraceLinkToDataFile,     // t.log -> the first data file (holding a line)
    TraceHardLinkToDataFile, // t.log, a hard link to it
    LinkedDataFolder,        // dl -> root/KestrelScribeData (the first data file in it)
    TraceLinkOutside,        // t.log -> outside.txt
    UnendedOldFile,   // root/kept.txt, one line with no line end
    FileAtLongPath,   // root/<the first folder of a LongPath>, a plain file
};

struct Escape {
    const char* name;
    std::string action; // added at step 31; '@' stands for the case's folder
    Plant plant;
    int exitCode;
    std::string message;           // on stderr ('@' as above)
    std::vector<std::string> made; // entries new under the case's folder
    std::size_t failedOpens;       // of the module's data files
    std::string summary = "";      // on stdout
    std::map<std::string, std::string> content = {}; // entries new or changed, with what they hold
    const char* probe = nullptr;   // instead of the module, ProbeModule.cpp with this script
    std::string trace = "@/trace.txt";
    std::string root = "@/root";   // --root
};

void PrintTo(const Escape& escape, std::ostream* out)
{
    *out << escape.name;
}

std::string JsonText(const std::string& text)
{
    std::string json;
    for (const char c : text) {
        json += c == '\\' || c == '"' ? std::string("\\") + c : std::string(1, c);
    }
    return "\"" + json + "\"";
}

// A path below `root` (absolute) of folders of 200 characters and a last
// name, such that root/PATH holds exactly `whole` characters.
std::string LongPath(const fs::path& root, std::size_t whole)
{
    std::size_t left = whole - root.string().size() - 1;
    std::string path;
    while (left > 250) {
        path += std::string(200, 'a') + "/";
        left -= 201;
    }
    return path + std::string(left, 'x');
}

const std::string kFirstLines = "0.0=pitch(5.00, 7.50, 10.0)\n10.0=pitch(7.50, 9.00, 10.0)\n20.0=pitch(9.00, 9.50, 10.0)\n";

class Escapes : public ::testing::TestWithParam<Escape> {};

TEST_P(Escapes, RefusedBeforeTheRunOrNeitherFollowedNorWaitedOn)
{
    const Escape& c = GetParam();
    const fs::path folder = FreshFolder();
    auto expand = [&](std::string text) {
        for (std::size_t at = text.find('@'); at != std::string::npos; at = text.find('@', at + 1)) {
            text.replace(at, 1, folder.string());
        }
        // "LONG:N": a LongPath of N characters in all under the root.
        if (const std::size_t at = text.find("LONG:"); at != std::string::npos) {
            const std::size_t end = text.find('"', at);
            text.replace(at, end - at, LongPath(folder / "root", std::stoul(text.substr(at + 5, end - at - 5))));
        }
        return text;
    };
    const fs::path root = folder / "root";
    const fs::path data = root / "KestrelScribeData";
    std::ofstream(folder / "outside.txt") << "outside\n";
    fs::create_directories(folder / "elsewhere");
    switch (c.plant) {
    case Plant::Nothing:
        break;
    case Plant::LinkAtDataFile:
        fs::create_directories(data);
        fs::create_symlink("../../outside.txt", root / kDataFile);
        break;
    case Plant::FifoAtDataFile:
        fs::create_directories(data);
        ASSERT_EQ(::mkfifo((root / kDataFile).c_str(), 0644), 0);
        break;
    case Plant::LinkAtDataFolder:
        fs::create_directories(root);
        fs::create_directory_symlink("../elsewhere", data);
        break;
    case Plant::LinkOutOfRoot:
        fs::create_directories(root);
        fs::create_directory_symlink("../elsewhere", root / "out");
        break;
    case Plant::LinkInsideRoot:
        fs::create_directories(root / "shots");
        fs::create_directory_symlink("shots", root / "link");
        break;
    case Plant::DataFolderIsAFile:
        fs::create_directories(root);
        WriteFile(data, "not a folder\n");
        break;
    case Plant::UnendedLine:
    case Plant::EndedLine:
        fs::create_directories(data);
        WriteFile(root / kDataFile, std::string("0.0=pitch(1.00, 2.00, 10.0)") + (c.plant == Plant::EndedLine ? "\n" : ""));
        break;
    case Plant::OldFile:
        fs::create_directories(root);
        WriteFile(root / "kept.txt", "old line\nmore\n");
        break;
    case Plant::ScenarioInRoot:
        fs::create_directories(root);
        WriteFile(root / "in.scn", "BEGIN_MFD left 256 200 8 10\nEND_MFD\n");
        fs::create_hard_link(root / "in.scn", root / "alias.scn");
        break;
    case Plant::StaleTemporary:
        fs::create_directories(root); // the file itself is made just before the host starts, below
        break;
    case Plant::FlightAtDataFile:
        fs::create_directories(data); // the link is made once the flight is written, below
        break;
    case Plant::OutsideAtDataFile:
        fs::create_directories(data);
        fs::create_hard_link(folder / "outside.txt", root / kDataFile);
        break;
    case Plant::ModuleInRoot:
        fs::create_directories(root);
        fs::copy_file(c.probe == nullptr ? KESTREL_MODULE : KESTREL_PROBE_MODULE, root / "plug.so");
        break;
    case Plant::DanglingRoot:
        fs::create_symlink("nowhere", root);
        break;
    case Plant::TraceLinkToDataFile:
    case Plant::TraceHardLinkToDataFile:
    case Plant::LinkedDataFolder:
        fs::create_directories(data);
        WriteFile(root / kDataFile, "0.0=pitch(1.00, 2.00, 10.0)\n");
        if (c.plant == Plant::TraceLinkToDataFile) {
            fs::create_symlink(root / kDataFile, folder / "t.log");
        } else if (c.plant == Plant::TraceHardLinkToDataFile) {
            fs::create_hard_link(root / kDataFile, folder / "t.log");
        } else {
            fs::create_directory_symlink(data, folder / "dl");
        }
        break;
    case Plant::TraceLinkOutside:
        fs::create_symlink("outside.txt", folder / "t.log");
        break;
    case Plant::UnendedOldFile:
        fs::create_directories(root);
        WriteFile(root / "kept.txt", "old line");
        break;
    case Plant::FileAtLongPath:
        fs::create_directories(root);
        WriteFile(root / std::string(200, 'a'), "a file\n");
        break;
    }
    // The probe's flight: its script's first part at step 0, the rest at
    // step 1, after the case's action.
    const std::string flightText =
        c.probe == nullptr ? ThreeLineFlight(expand(c.action))
                           : R"({"vessels": [{"name": )" + JsonText(c.probe) + R"(, "pitch_deg": [[0, 0]]}],
                                 "steps": [{"dt": 1.0, "count": 2}])" +
                                 (c.action.empty() ? "" : R"(, "events": [{"step": 1, )" + c.action + "}]") + "}";
    const fs::path flight = WriteFlight(folder / "flight.json", flightText);
    if (c.plant == Plant::FlightAtDataFile) {
        fs::create_hard_link(flight, root / kDataFile);
    }
    const auto before = Entries(folder);

    const std::string module =
        c.plant == Plant::ModuleInRoot ? (root / "plug.so").string() : c.probe == nullptr ? KESTREL_MODULE : KESTREL_PROBE_MODULE;
    std::vector<std::string> args = {"run", flight.string(), "--root", expand(c.root), "--module", module, "--trace",
                                     expand(c.trace)};
    std::string program = KESTREL_HOST;
    if (c.plant == Plant::StaleTemporary) {
        // The shell's process id is the host's once it takes the shell's place.
        args.insert(args.begin(), {"-c", "printf stale >\"$1/.x.scn.$(printf %08x $$)\"; shift; exec \"$0\" \"$@\"",
                                   KESTREL_HOST, root.string()});
        program = "/bin/sh";
    }
    const ProgramEnd end = WaitProgram(StartProgram(program, args, folder), std::chrono::seconds(60));
    ASSERT_FALSE(end.timedOut) << "kestrel-host hung";
    const std::string err = ReadFile(folder / "stderr.txt");
    EXPECT_EQ(end.exitCode, c.exitCode) << err;
    EXPECT_THAT(err, HasSubstr(expand(c.message)));
    EXPECT_THAT(ReadFile(folder / "stdout.txt"), HasSubstr(c.summary));

    // Nothing changed but what the case makes: no planted file was written
    // through, and nothing appeared anywhere else.
    auto after = Entries(folder);
    auto unchanged = before;
    for (const std::string& made : c.made) {
        EXPECT_EQ(after.erase(made), 1u) << made << " was not made";
    }
    for (const auto& [entry, content] : c.content) {
        EXPECT_EQ(after[entry], content) << entry;
        after.erase(entry);
        unchanged.erase(entry);
    }
    EXPECT_EQ(after, unchanged);

    const auto trace = Lines(ReadFile(folder / "trace.txt"));
    std::size_t failed = 0;
    for (const std::string& line : StartingWith(trace, "oapiOpenFile ")) {
        failed += line.ends_with(" -> null") ? 1 : 0;
    }
    EXPECT_EQ(failed, c.failedOpens);
}

// The flight writes "KestrelScribeData/Probe 7_613815001.txt" at t = 10;
// while neither open of a line succeeds, the stamp follows the clock, so
// the lines of t = 20 and 30 go to ..._613815002.txt (20 / 8.64 = 2.31)
// once that name can be opened, and to ..._613815003.txt (30 / 8.64 = 3.47)
// otherwise. Each line whose file cannot be opened costs two failed opens
// (append, then write), and is one line not written.
//
// An output's temporary file is ".NAME." and 8 digits: 10 characters more
// than NAME, so a name of 255 - 10 = 245 characters is the longest an
// output can have.
const std::string kLongestOutput = Digits(241) + ".scn";
const std::string kOneTooLong = Digits(242) + ".scn";
// A file name of 300 characters, more than any file system holds.
const std::string kTooLongName = "open " + std::string(296, 'x') + ".txt 2 0;write a";

INSTANTIATE_TEST_SUITE_P(
    Table, Escapes,
    ::testing::Values(
        Escape{"SaveToTheRootsParent", R"("save": "../x.scn")", Plant::Nothing, 2,
               "flight.json: events[2] (step 31).save: '../x.scn' leads out of the root folder", {}, 0},
        Escape{"AbsoluteSvg", R"("snapshot": "left", "svg": "@/abs.svg")", Plant::Nothing, 2,
               "events[2] (step 31).svg: '@/abs.svg' is an absolute path", {}, 0},
        Escape{"LogOverADataFile", R"("snapshot": "left", "log": "KestrelScribeData/Probe 7_613815001.txt")",
               Plant::Nothing, 2,
               "events[2] (step 31).log: 'KestrelScribeData/Probe 7_613815001.txt' lies in the data folder "
               "KestrelScribeData, where only the module writes",
               {}, 0},
        // '..' resolved, the letters' case aside: still the data folder.
        Escape{"SaveIntoTheDataFolderByAWayRound", R"("save": "shots/../kestrelscribedata/x.scn")", Plant::Nothing, 2,
               "events[2] (step 31).save: 'shots/../kestrelscribedata/x.scn' lies in the data folder", {}, 0},
        Escape{"SaveNamingAFolder", R"("save": "zz/")", Plant::Nothing, 2,
               "events[2] (step 31).save: 'zz/' names a folder, not a file", {}, 0},
        Escape{"SvgThroughALinkOutOfTheRoot", R"("snapshot": "left", "svg": "out/x.svg")", Plant::LinkOutOfRoot, 2,
               "events[2] (step 31).svg: 'out/x.svg' leads out of the root folder through the symbolic link 'out'",
               {}, 0},
        // The edge: a link and a '..' that stay inside the root are fine.
        Escape{"OutputsThroughALinkInsideTheRoot", R"("snapshot": "left", "svg": "link/in.svg", "log": "shots/../in.log")",
               Plant::LinkInsideRoot, 0, "",
               {"root/shots/in.svg", "root/in.log", "root/KestrelScribeData", "root/" + kDataFile}, 0},
        Escape{"LinkAtADataFile", "", Plant::LinkAtDataFile, 3, "",
               {"root/KestrelScribeData/Probe 7_613815002.txt"}, 2,
               "  KestrelScribeData/Probe 7_613815002.txt: 2 lines\nlines not written: 1\n  symbolic link on the way: 1\n"},
        Escape{"FifoAtADataFile", "", Plant::FifoAtDataFile, 3, "",
               {"root/KestrelScribeData/Probe 7_613815002.txt"}, 2, "lines not written: 1\n  not a plain file: 1\n"},
        Escape{"LinkAtTheDataFolder", "", Plant::LinkAtDataFolder, 3, "", {}, 6,
               "data files written: 0\nlines not written: 3\n  symbolic link on the way: 3\n"},
        Escape{"DataFolderIsAFile", "", Plant::DataFolderIsAFile, 3, "", {}, 6,
               "data files written: 0\nlines not written: 3\n  no such folder: 3\n"},

        // A name's text: a NUL would end it in the system call, which
        // would then write another file.
        Escape{.name = "SaveWithANulInTheDataFoldersName", .action = R"("save": "KestrelScribeData\u0000.scn")",
               .plant = Plant::Nothing, .exitCode = 2,
               .message = "events[2] (step 31).save: 'KestrelScribeData\\x00.scn' holds a NUL character", .made = {},
               .failedOpens = 0},
        Escape{.name = "SaveWithANul", .action = R"("save": "a\u0000b.scn")", .plant = Plant::Nothing, .exitCode = 2,
               .message = "'a\\x00b.scn' holds a NUL character", .made = {}, .failedOpens = 0},
        Escape{.name = "LogWithAnEscape", .action = R"("snapshot": "left", "log": "a\u001b[2Jb.log")",
               .plant = Plant::Nothing, .exitCode = 2,
               .message = "events[2] (step 31).log: 'a\\x1B[2Jb.log' holds a control character (\\x1B)", .made = {},
               .failedOpens = 0},
        // The edges: 0x1F is the last control character below the blank,
        // 0x7F (DEL) the one above the printable ones.
        Escape{.name = "LogWithTheLastControlCharacter", .action = R"("snapshot": "left", "log": "a\u001fb.log")",
               .plant = Plant::Nothing, .exitCode = 2,
               .message = "events[2] (step 31).log: 'a\\x1Fb.log' holds a control character (\\x1F)", .made = {},
               .failedOpens = 0},
        Escape{.name = "LogWithDelete", .action = R"("snapshot": "left", "log": "a\u007fb.log")",
               .plant = Plant::Nothing, .exitCode = 2,
               .message = "events[2] (step 31).log: 'a\\x7Fb.log' holds a control character (\\x7F)", .made = {},
               .failedOpens = 0},
        // Names as Windows finds them: trailing dots and blanks dropped,
        // letters folded (also the long s, U+017F, to s), devices in any
        // folder, ':' a stream of the file before it.
        Escape{.name = "SaveIntoTheDataFolderWithATrailingDot", .action = R"("save": "KestrelScribeData./x.scn")",
               .plant = Plant::Nothing, .exitCode = 2,
               .message = "save: 'KestrelScribeData./x.scn' lies in the data folder KestrelScribeData", .made = {},
               .failedOpens = 0},
        Escape{.name = "SaveIntoTheDataFolderWithATrailingBlank", .action = R"("save": "KestrelScribeData /x.scn")",
               .plant = Plant::Nothing, .exitCode = 2, .message = "lies in the data folder", .made = {},
               .failedOpens = 0},
        Escape{.name = "SaveIntoTheDataFolderWithALongS", .action = R"("save": "Kestrel\u017fcribeData/x.scn")",
               .plant = Plant::Nothing, .exitCode = 2,
               .message = "save: 'Kestrel\\xC5\\xBFcribeData/x.scn' lies in the data folder", .made = {},
               .failedOpens = 0},
        // Every letter folds, from A to Z and no further: '[' and '{' stay two.
        Escape{.name = "SaveIntoTheDataFolderInCapitals", .action = R"("save": "KESTRELSCRIBEDATA/x.scn")",
               .plant = Plant::Nothing, .exitCode = 2,
               .message = "save: 'KESTRELSCRIBEDATA/x.scn' lies in the data folder", .made = {}, .failedOpens = 0},
        Escape{.name = "SvgAndLogOnOnePathByAZ", .action = R"("snapshot": "left", "svg": "z.out", "log": "Z.out")",
               .plant = Plant::Nothing, .exitCode = 2,
               .message = "events[2] (step 31).log: 'Z.out' is also written as events[2] (step 31).svg", .made = {},
               .failedOpens = 0},
        Escape{.name = "SvgAndLogBesideTheLetters", .action = R"("snapshot": "left", "svg": "[.out", "log": "{.out")",
               .plant = Plant::Nothing, .exitCode = 0, .message = "",
               .made = {"root", "root/[.out", "root/{.out", "root/KestrelScribeData", "root/" + kDataFile},
               .failedOpens = 0},
        // The Kelvin sign (U+212A, three bytes) is a K: the rest of the name
        // follows it whole.
        Escape{.name = "SaveIntoTheDataFolderWithAKelvinSign", .action = R"("save": "\u212aestrelScribeData/x.scn")",
               .plant = Plant::Nothing, .exitCode = 2,
               .message = "save: '\\xE2\\x84\\xAAestrelScribeData/x.scn' lies in the data folder", .made = {},
               .failedOpens = 0},
        Escape{.name = "SaveAsTheStreamOfTheDataFolder", .action = R"("save": "KestrelScribeData:x.scn")",
               .plant = Plant::Nothing, .exitCode = 2,
               .message = "save: 'KestrelScribeData:x.scn' holds the character ':', which no Windows file name holds",
               .made = {}, .failedOpens = 0},
        // The last of each kind of device, and one with blanks before its dot.
        Escape{.name = "SaveToTheLastPrinterPort", .action = R"("save": "lpt9.scn")", .plant = Plant::Nothing,
               .exitCode = 2, .message = "save: 'lpt9.scn' names the device lpt9", .made = {}, .failedOpens = 0},
        Escape{.name = "SaveToTheConsoleInput", .action = R"("save": "CONIN$")", .plant = Plant::Nothing, .exitCode = 2,
               .message = "save: 'CONIN$' names the device CONIN$", .made = {}, .failedOpens = 0},
        Escape{.name = "SaveToADeviceWithBlanksBeforeItsDot", .action = R"("save": "CON  .scn")", .plant = Plant::Nothing,
               .exitCode = 2, .message = "save: 'CON  .scn' names the device CON,", .made = {}, .failedOpens = 0},
        Escape{.name = "SaveToADevice", .action = R"("save": "CON.scn")", .plant = Plant::Nothing, .exitCode = 2,
               .message = "save: 'CON.scn' names the device CON", .made = {}, .failedOpens = 0},
        Escape{.name = "SvgToADeviceInAFolder", .action = R"("snapshot": "left", "svg": "shots/com1.x.svg")",
               .plant = Plant::Nothing, .exitCode = 2, .message = "svg: 'shots/com1.x.svg' names the device com1",
               .made = {}, .failedOpens = 0},
        // A device before a dot, a blank before the dot, and a trailing
        // blank as a trailing dot.
        Escape{.name = "SaveToTheConsoleInputBeforeADot", .action = R"("save": "conin$.scn")", .plant = Plant::Nothing,
               .exitCode = 2, .message = "save: 'conin$.scn' names the device conin$", .made = {}, .failedOpens = 0},
        Escape{.name = "SvgToADeviceBeforeABlank", .action = R"("snapshot": "left", "svg": "CON .svg")",
               .plant = Plant::Nothing, .exitCode = 2, .message = "svg: 'CON .svg' names the device CON", .made = {},
               .failedOpens = 0},
        Escape{.name = "SaveWithATrailingBlank", .action = R"("save": "x.scn ")", .plant = Plant::Nothing,
               .exitCode = 2, .message = "save: 'x.scn ' has a name ending in a dot or a blank", .made = {},
               .failedOpens = 0},
        Escape{.name = "SvgInAFolderWithATrailingDot", .action = R"("snapshot": "left", "svg": "shots./x.svg")",
               .plant = Plant::Nothing, .exitCode = 2,
               .message = "svg: 'shots./x.svg' has a name ending in a dot or a blank", .made = {}, .failedOpens = 0},
        // No two outputs on one path, none on an input: a scenario saved
        // may be loaded back and saved again, one read by the run not.
        Escape{.name = "SvgAndLogOnOnePath", .action = R"("snapshot": "left", "svg": "same.out", "log": "Same.out")",
               .plant = Plant::Nothing, .exitCode = 2,
               .message = "events[2] (step 31).log: 'Same.out' is also written as events[2] (step 31).svg",
               .made = {}, .failedOpens = 0},
        Escape{.name = "LogInTheSvgAsAFolder", .action = R"("snapshot": "left", "svg": "n.out", "log": "n.out/x.log")",
               .plant = Plant::Nothing, .exitCode = 2,
               .message = "'n.out/x.log' and '@/root/n.out' (events[2] (step 31).svg) cannot both be written: one would be the "
                          "folder of the other",
               .made = {}, .failedOpens = 0},
        // Beside the data folder, a name that begins with its name is not in it.
        Escape{.name = "SaveBesideTheDataFolder", .action = R"("save": "KestrelScribeData.scn")",
               .plant = Plant::Nothing, .exitCode = 0, .message = "",
               .made = {"root", "root/KestrelScribeData.scn", "root/KestrelScribeData", "root/" + kDataFile},
               .failedOpens = 0},
        Escape{.name = "SaveOverALoadedScenario",
               .action = R"("load": "root/in.scn"}, {"step": 31, "save": "shots/../in.scn")",
               .plant = Plant::ScenarioInRoot, .exitCode = 2,
               .message = "events[3] (step 31).save: 'shots/../in.scn' is read by this run as events[2] (step 31).load\n",
               .made = {}, .failedOpens = 0},
        Escape{.name = "SaveOverALoadedScenarioByAnotherName",
               .action = R"("load": "root/in.scn"}, {"step": 31, "save": "alias.scn")", .plant = Plant::ScenarioInRoot,
               .exitCode = 2,
               .message = "save: 'alias.scn' is read by this run as events[2] (step 31).load (by another name)\n",
               .made = {}, .failedOpens = 0},
        Escape{.name = "SaveLoadBackAndSaveAgain",
               .action = R"("save": "again.scn"}, {"step": 31, "load": "root/again.scn"}, {"step": 31, "save": "again.scn")",
               .plant = Plant::Nothing, .exitCode = 0, .message = "",
               .made = {"root", "root/KestrelScribeData", "root/" + kDataFile}, .failedOpens = 0, .summary = "",
               .content = {{"root/again.scn", "# kestrel-host scenario\nBEGIN_MFD left 256 200 8 10\nREC 1\n"
                                              "INT 10.00\nVES Probe&7\nEND_MFD\n"}}},
        // The trace is an output too.
        Escape{.name = "TraceOverTheFlight", .action = "", .plant = Plant::Nothing, .exitCode = 2,
               .message = "--trace: '@/flight.json' is read by this run as the flight file\n", .made = {},
               .failedOpens = 0, .trace = "@/flight.json"},
        Escape{.name = "TraceIntoTheDataFolder", .action = "", .plant = Plant::Nothing, .exitCode = 2,
               .message = "lies in the data folder @/root/KestrelScribeData, where only the module writes", .made = {},
               .failedOpens = 0, .trace = "@/root/kestrelscribedata/Probe 7_613815001.txt"},
        Escape{.name = "TraceOnAFullDisk", .action = "", .plant = Plant::Nothing, .exitCode = 2,
               .message = "kestrel-host: /dev/full: cannot write the trace file: No space left on device\n", .made = {},
               .failedOpens = 0, .trace = "/dev/full"},
        // Its folder is made, as every output's is; one that is a file is not.
        Escape{.name = "TraceIntoAMissingFolder", .action = "", .plant = Plant::Nothing, .exitCode = 0, .message = "",
               .made = {"missing", "missing/trace.txt", "root", "root/KestrelScribeData", "root/" + kDataFile},
               .failedOpens = 0, .trace = "@/missing/trace.txt"},
        Escape{.name = "TraceUnderAFile", .action = "", .plant = Plant::Nothing, .exitCode = 2,
               .message = "@/outside.txt/trace.txt: cannot write the trace file: cannot make its folder @/outside.txt: ",
               .made = {}, .failedOpens = 0, .trace = "@/outside.txt/trace.txt"},
        // Nor through a link into a data file, by any route, nor onto the
        // module, nor into any root's data folder.
        Escape{.name = "TraceThroughALinkToADataFile", .action = "", .plant = Plant::TraceLinkToDataFile, .exitCode = 2,
               .message = "--trace: '@/t.log' lies in the data folder @/root/KestrelScribeData (where links on the way "
                          "lead), where only the module writes\n",
               .made = {}, .failedOpens = 0, .trace = "@/t.log"},
        Escape{.name = "TraceThroughAHardLinkToADataFile", .action = "", .plant = Plant::TraceHardLinkToDataFile,
               .exitCode = 2,
               .message = "kestrel-host: @/t.log: cannot write the trace file: the file has another name too (a hard "
                          "link), which writing it would change as well\n",
               .made = {}, .failedOpens = 0, .trace = "@/t.log"},
        Escape{.name = "TraceThroughALinkedFolder", .action = "", .plant = Plant::LinkedDataFolder, .exitCode = 2,
               .message = "--trace: '@/dl/Probe 7_613815001.txt' lies in the data folder @/root/KestrelScribeData "
                          "(where links on the way lead)",
               .made = {}, .failedOpens = 0, .trace = "@/dl/Probe 7_613815001.txt"},
        Escape{.name = "TraceThroughALinkToAnotherFile", .action = "", .plant = Plant::TraceLinkOutside, .exitCode = 2,
               .message = "kestrel-host: @/t.log: cannot write the trace file: it is a symbolic link, which the host "
                          "does not follow for its own outputs\n",
               .made = {}, .failedOpens = 0, .trace = "@/t.log"},
        Escape{.name = "TraceIntoAnotherRootsDataFolder", .action = "", .plant = Plant::Nothing, .exitCode = 2,
               .message = "--trace: '@/other/kestrelscribedata./x.txt' lies in the data folder "
                          "@/other/kestrelscribedata., where only the module writes\n",
               .made = {}, .failedOpens = 0, .trace = "@/other/kestrelscribedata./x.txt"},
        Escape{.name = "TraceOnTheDataFolderItself", .action = "", .plant = Plant::Nothing, .exitCode = 2,
               .message = "--trace: '@/root/KestrelScribeData' lies in the data folder @/root/KestrelScribeData, where",
               .made = {}, .failedOpens = 0, .trace = "@/root/KestrelScribeData"},
        Escape{.name = "TraceOntoTheModule", .action = "", .plant = Plant::ModuleInRoot, .exitCode = 2,
               .message = "--trace: '@/root/plug.so' is read by this run as the module (--module)\n", .made = {},
               .failedOpens = 0, .trace = "@/root/plug.so"},
        // The longest name an output's temporary file leaves room for, and
        // the first that is too long.
        Escape{.name = "SaveWithTheLongestName", .action = R"("save": ")" + kLongestOutput + "\"",
               .plant = Plant::Nothing, .exitCode = 0, .message = "",
               .made = {"root", "root/" + kLongestOutput, "root/KestrelScribeData", "root/" + kDataFile}, .failedOpens = 0},
        Escape{.name = "SaveWithANameOneTooLong", .action = R"("save": ")" + kOneTooLong + "\"",
               .plant = Plant::Nothing, .exitCode = 2,
               .message = "has a file name of 246 characters; an output's holds at most 245", .made = {},
               .failedOpens = 0},
        // The longest whole path an output's temporary file leaves room for
        // (4095 - 10), found a file on its way (so it is checked on the disk
        // after its length), and the first that is too long.
        Escape{.name = "SaveWithTheLongestPath", .action = R"("save": "LONG:4085")", .plant = Plant::FileAtLongPath,
               .exitCode = 2, .message = "as a folder, but it is a file", .made = {}, .failedOpens = 0},
        Escape{.name = "SaveWithAPathOneTooLong", .action = R"("save": "LONG:4086")", .plant = Plant::FileAtLongPath,
               .exitCode = 2,
               .message = "makes a path of 4086 characters under the root; a path holds at most 4085 (4095, less 10 for "
                          "the temporary file it is written to first)",
               .made = {}, .failedOpens = 0},
        // A temporary file of the process's own name, left by a killed run.
        Escape{.name = "SaveOverAStaleTemporaryFile", .action = R"("save": "x.scn")", .plant = Plant::StaleTemporary,
               .exitCode = 0, .message = "", .made = {"root/x.scn", "root/KestrelScribeData", "root/" + kDataFile},
               .failedOpens = 0},
        // A data file whose last line has no line end gets one before the
        // module's first line; one that has it, none.
        Escape{.name = "AppendToALineWithNoLineEnd", .action = "", .plant = Plant::UnendedLine, .exitCode = 0,
               .message = "", .made = {}, .failedOpens = 0,
               .summary = "data files written: 1\n  " + kDataFile + ": 3 lines (the file held 1 line before)\n",
               .content = {{"root/" + kDataFile, "0.0=pitch(1.00, 2.00, 10.0)\n" + kFirstLines}}},
        Escape{.name = "AppendToALineWithItsLineEnd", .action = "", .plant = Plant::EndedLine, .exitCode = 0,
               .message = "", .made = {}, .failedOpens = 0,
               .summary = kDataFile + ": 3 lines (the file held 1 line before)\n",
               .content = {{"root/" + kDataFile, "0.0=pitch(1.00, 2.00, 10.0)\n" + kFirstLines}}},

        // What the module never asks: the host's side of each operation.
        Escape{.name = "ProbeOpensThroughADotDot", .action = "", .plant = Plant::LinkInsideRoot, .exitCode = 3,
               .message = "", .made = {}, .failedOpens = 1,
               .summary = "lines not written: 1\n  path outside the root (absolute, a drive, a '..'): 1\n",
               .probe = "open shots\\..\\x.txt 2 0;write a;close"},
        Escape{.name = "ProbeOpensAnAbsolutePath", .action = "", .plant = Plant::Nothing, .exitCode = 3, .message = "",
               .made = {"root"}, .failedOpens = 1, .summary = "lines not written: 1\n",
               .probe = "open /x.txt 2 0;write a;close"},
        Escape{.name = "ProbeOpensADrive", .action = "", .plant = Plant::Nothing, .exitCode = 3, .message = "",
               .made = {"root"}, .failedOpens = 1, .summary = "lines not written: 1\n", .probe = "open C:x.txt 2 0;write a;close"},
        Escape{.name = "ProbeOpensWithAnotherPathRoot", .action = "", .plant = Plant::Nothing, .exitCode = 3,
               .message = "", .made = {"root"}, .failedOpens = 1,
               .summary = "lines not written: 1\n  path root other than the root folder: 1\n",
               .probe = "open x.txt 2 1;write a;close"},
        Escape{.name = "ProbeOpensWithAPathRootBelowTheHosts", .action = "", .plant = Plant::Nothing, .exitCode = 3,
               .message = "", .made = {"root"}, .failedOpens = 1,
               .summary = "lines not written: 1\n  path root other than the root folder: 1\n",
               .probe = "open x.txt 2 -1;write a;close"},
        Escape{.name = "ProbeOpensWithAModeBeyondAppend", .action = "", .plant = Plant::Nothing, .exitCode = 3,
               .message = "", .made = {"root"}, .failedOpens = 1,
               .summary = "lines not written: 1\n  file mode other than 1 (write) or 2 (append): 1\n",
               .probe = "open x.txt 3 0;write a;close"},
        Escape{.name = "ProbeOpensWithModeZero", .action = "", .plant = Plant::Nothing, .exitCode = 3,
               .message = "", .made = {"root"}, .failedOpens = 1,
               .summary = "lines not written: 1\n  file mode other than 1 (write) or 2 (append): 1\n",
               .probe = "open x.txt 0 0;write a;close"},
        Escape{.name = "ProbeOpensWithALeadingBackslash", .action = "", .plant = Plant::Nothing, .exitCode = 3,
               .message = "", .made = {"root"}, .failedOpens = 1,
               .summary = "lines not written: 1\n  path outside the root (absolute, a drive, a '..'): 1\n",
               .probe = "open \\x.txt 2 0;write a;close"},
        Escape{.name = "ProbeOpensWithATrailingBackslash", .action = "", .plant = Plant::Nothing, .exitCode = 3,
               .message = "", .made = {"root"}, .failedOpens = 1, .summary = "lines not written: 1\n",
               .probe = "open x.txt\\ 2 0;write a;close"},
        Escape{.name = "ProbeOpensAFileTooLong", .action = "", .plant = Plant::Nothing, .exitCode = 3, .message = "",
               .made = {"root"}, .failedOpens = 1, .summary = "lines not written: 1\n  name too long: 1\n",
               .probe = kTooLongName.c_str()},
        Escape{.name = "ProbeWritesAFileAnew", .action = "", .plant = Plant::OldFile, .exitCode = 0, .message = "",
               .made = {}, .failedOpens = 0, .summary = "data files written: 1\n  kept.txt: 1 line\n",
               .content = {{"root/kept.txt", "new\n"}}, .probe = "open kept.txt 1 0;write new;close"},
        // A name buffer of 4 bytes holds 3 characters and the terminator;
        // one of 1, the terminator only. Nothing after it is touched.
        Escape{.name = "ProbeAsksForItsNameInASmallBuffer", .action = "", .plant = Plant::Nothing, .exitCode = 0,
               .message = "", .made = {"root"}, .failedOpens = 0, .summary = "",
               .content = {{"root/probe.txt", "ope|########\n|########\n"}},
               .probe = "open probe.txt 2 0;name 4;name 1;close"},
        // One of 0: nothing, before it or in it.
        Escape{.name = "ProbeAsksForItsNameInABufferOfNone", .action = "", .plant = Plant::Nothing, .exitCode = 0,
               .message = "", .made = {"root"}, .failedOpens = 0, .summary = "",
               .content = {{"root/probe.txt", "|########\n"}}, .probe = "open probe.txt 2 0;name 0;close"},
        // A failed open made good by another of the same path in the same
        // call loses no line; one followed by another path's loses one.
        Escape{.name = "ProbeMakesAFailedOpenGood", .action = "", .plant = Plant::Nothing, .exitCode = 0, .message = "",
               .made = {"root"}, .failedOpens = 1, .summary = "data files written: 1\n  x.txt: 1 line\n",
               .content = {{"root/x.txt", "a\n"}}, .probe = "open x.txt 3 0;open x.txt 2 0;write a;close"},
        Escape{.name = "ProbeOpensAnotherPathAfterAFailedOpen", .action = "", .plant = Plant::Nothing, .exitCode = 3,
               .message = "", .made = {"root"}, .failedOpens = 1,
               .summary = "lines not written: 1\n  file mode other than 1 (write) or 2 (append): 1\n",
               .content = {{"root/y.txt", "a\n"}}, .probe = "open x.txt 3 0;open y.txt 2 0;write a;close"},
        // A file whose last line has no line end, then emptied by mode 1:
        // the new line needs no line end before it.
        Escape{.name = "ProbeEmptiesAFileWithNoLineEnd", .action = "", .plant = Plant::UnendedOldFile, .exitCode = 0,
               .message = "", .made = {}, .failedOpens = 0,
               .summary = "data files written: 1\n  kept.txt: 1 line (the file held 1 line before)\n",
               .content = {{"root/kept.txt", "new\n"}},
               .probe = "open kept.txt 2 0;close;open kept.txt 1 0;write new;close"},
        // A file replaced under its name (here by a save between two steps)
        // is one path in the summary, with the lines of both.
        Escape{.name = "ProbeWritesAFileReplacedByASave", .action = R"("save": "x.txt")", .plant = Plant::Nothing,
               .exitCode = 0, .message = "", .made = {"root"}, .failedOpens = 0,
               .summary = "data files written: 1\n  x.txt: 2 lines\n",
               .content = {{"root/x.txt", "# kestrel-host scenario\nb\n"}},
               .probe = "open x.txt 2 0;write a;close|open x.txt 2 0;write b;close"},

        // A data file with another name (a hard link) is refused: it may be
        // an input, or lead out of the root. So is one of the run's inputs.
        Escape{.name = "HardLinkAtADataFileToTheFlight", .action = "", .plant = Plant::FlightAtDataFile, .exitCode = 3,
               .message = "", .made = {"root/KestrelScribeData/Probe 7_613815002.txt"}, .failedOpens = 2,
               .summary = "  KestrelScribeData/Probe 7_613815002.txt: 2 lines\nlines not written: 1\n"
                          "  file with another name (a hard link): 1\n"},
        Escape{.name = "HardLinkAtADataFileToAFileOutsideTheRoot", .action = "", .plant = Plant::OutsideAtDataFile,
               .exitCode = 3, .message = "", .made = {"root/KestrelScribeData/Probe 7_613815002.txt"}, .failedOpens = 2,
               .summary = "lines not written: 1\n  file with another name (a hard link): 1\n"},
        Escape{.name = "ProbeOpensTheModuleItRuns", .action = "", .plant = Plant::ModuleInRoot, .exitCode = 3,
               .message = "", .made = {}, .failedOpens = 1, .summary = "lines not written: 1\n  a file the run reads: 1\n",
               .probe = "open plug.so 1 0;write a;close"},
        Escape{.name = "SaveOntoTheModule", .action = R"("save": "plug.so")", .plant = Plant::ModuleInRoot, .exitCode = 2,
               .message = "events[2] (step 31).save: 'plug.so' is read by this run as the module (--module)\n",
               .made = {}, .failedOpens = 0},

        // The root: never a dangling link, never in a data folder, no name
        // Windows would take for another.
        Escape{.name = "RootIsADanglingLink", .action = "", .plant = Plant::DanglingRoot, .exitCode = 2,
               .message = "kestrel-host: @/root: the root is a symbolic link that leads nowhere (to 'nowhere')\n",
               .made = {}, .failedOpens = 0},
        Escape{.name = "RootInADataFolder", .action = "", .plant = Plant::Nothing, .exitCode = 2,
               .message = "kestrel-host: --root: '@/r/KestrelScribeData/sub' lies in the data folder "
                          "@/r/KestrelScribeData, where only the module writes\n",
               .made = {}, .failedOpens = 0, .root = "@/r/KestrelScribeData/sub"},
        Escape{.name = "RootWithATrailingDot", .action = "", .plant = Plant::Nothing, .exitCode = 2,
               .message = "kestrel-host: --root: '@/x.' has a name ending in a dot or a blank", .made = {},
               .failedOpens = 0, .root = "@/x."},
        Escape{.name = "RootWithATrailingBlank", .action = "", .plant = Plant::Nothing, .exitCode = 2,
               .message = "kestrel-host: --root: '@/e ' has a name ending in a dot or a blank", .made = {},
               .failedOpens = 0, .root = "@/e "},
        // The edge: a name that begins with the data folder's is another.
        Escape{.name = "RootNamedLikeTheDataFolderAndMore", .action = "", .plant = Plant::Nothing, .exitCode = 0,
               .message = "", .made = {"KestrelScribeData.d", "KestrelScribeData.d/KestrelScribeData",
                                       "KestrelScribeData.d/" + kDataFile},
               .failedOpens = 0, .root = "@/KestrelScribeData.d"},

        // Messages quote input escaped: a device name as much as a NUL.
        Escape{.name = "SaveToADeviceWithASuperscript", .action = R"("save": "COM\u00b9.scn")", .plant = Plant::Nothing,
               .exitCode = 2,
               .message = "save: 'COM\\xC2\\xB9.scn' names the device COM\\xC2\\xB9, which Windows opens", .made = {},
               .failedOpens = 0},
        // A NUL in the flight file itself: the sixth line is the event's
        // (ThreeLineFlight), and '{"step": 31, "save": "a' 23 bytes.
        Escape{.name = "FlightWithANul", .action = std::string("\"save\": \"a") + '\0' + "b.scn\"",
               .plant = Plant::Nothing, .exitCode = 2,
               .message = "flight.json: not valid JSON: a NUL character (\\x00) at line 6, column 24", .made = {},
               .failedOpens = 0}),
    [](const ::testing::TestParamInfo<Escape>& param) { return std::string(param.param.name); });

// ---- a run killed at random moments ----

TEST(KilledRun, LeavesWholeLinesEachAsTheUninterruptedRunWritesThem)
{
    // 600,000 steps of 1 s, interval 10: Probe 7 recorded until step
    // 300,000, then GL-01 (chosen through the vessel box) in a second file:
    // about 60,000 lines in two files, written throughout the run.
    const fs::path folder = FreshFolder();
    const fs::path flight = WriteFlight(folder / "flight.json", R"({
        "clock_mjd": 61381.5,
        "vessels": [{"name": "Probe 7", "pitch_deg": [[0, 0], [600000, 90]]},
                    {"name": "GL-01", "pitch_deg": [[0, 45], [600000, -45]]}],
        "steps": [{"dt": 1.0, "count": 600000}],
        "events": [{"step": 0, "open": "left", "width": 256, "height": 200},
                   {"step": 0, "display": "left", "button": 0},
                   {"step": 300000, "display": "left", "key": 48},
                   {"step": 300000, "input": "GL-01"}]})");
    auto run = [&](const std::string& name) {
        const fs::path at = folder / name;
        return std::make_pair(at, StartHost({"run", flight.string(), "--root", (at / "root").string(), "--module",
                                             KESTREL_MODULE},
                                            at));
    };
    auto dataFiles = [](const fs::path& at) {
        std::map<std::string, std::string> files;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(at / "root/KestrelScribeData", ec)) {
            files[entry.path().filename().string()] = ReadFile(entry.path());
        }
        return files;
    };

    const auto started = std::chrono::steady_clock::now();
    const auto [referenceAt, referencePid] = run("reference");
    const ProgramEnd referenceEnd = WaitProgram(referencePid, std::chrono::minutes(10));
    const auto duration = std::chrono::steady_clock::now() - started;
    ASSERT_EQ(referenceEnd.exitCode, 0) << ReadFile(referenceAt / "stderr.txt");
    const auto reference = dataFiles(referenceAt);
    ASSERT_EQ(reference.size(), 2u);

    // One kill in each eighth of the reference run's time, at a random moment.
    const unsigned seed = std::random_device{}();
    std::mt19937 random(seed);
    constexpr int kKills = 8;
    int cut = 0;
    for (int i = 0; i < kKills; ++i) {
        const double share = (i + std::uniform_real_distribution<double>(0.05, 0.95)(random)) / kKills;
        const auto wait = std::chrono::duration_cast<std::chrono::microseconds>(duration * share);
        SCOPED_TRACE("seed " + std::to_string(seed) + ", kill " + std::to_string(i) + " after " +
                     std::to_string(wait.count()) + " us");
        const auto [at, pid] = run("killed" + std::to_string(i));
        std::this_thread::sleep_for(wait);
        ::kill(pid, SIGKILL);
        const ProgramEnd end = WaitProgram(pid, std::chrono::minutes(10));
        ASSERT_TRUE(end.signal == SIGKILL || end.exitCode == 0);

        std::size_t kept = 0, whole = 0;
        for (const auto& [name, content] : dataFiles(at)) {
            SCOPED_TRACE(name);
            const auto same = reference.find(name);
            ASSERT_NE(same, reference.end()) << "a file the uninterrupted run does not write";
            EXPECT_TRUE(content.empty() || content.back() == '\n') << "ends in part of a line";
            EXPECT_EQ(content, same->second.substr(0, content.size())) << "not the lines the uninterrupted run writes";
            kept += content.size();
        }
        for (const auto& [name, content] : reference) {
            whole += content.size();
        }
        cut += (kept > 0 && kept < whole) ? 1 : 0;
    }
    // At least one kill landed while lines were being written.
    EXPECT_GE(cut, 1);
}

// ---- a run interrupted ----

namespace {

// 10,000,000 steps of 1 s, Probe 7 recorded at interval 10: long enough to
// be stopped while it runs.
constexpr const char* kLongFlight = R"({
    "clock_mjd": 61381.5,
    "vessels": [{"name": "Probe 7", "pitch_deg": [[0, 0], [10000000, 90]]}],
    "steps": [{"dt": 1.0, "count": 10000000}],
    "events": [{"step": 0, "open": "left", "width": 256, "height": 200},
               {"step": 0, "display": "left", "button": 0}]})";

// Waits (60 s at most) until the data file holds a byte: the run is then
// past its start and writing.
void WaitUntilWritten(const fs::path& data)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    std::error_code ec;
    while ((fs::file_size(data, ec) == 0 || ec) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

} // namespace

TEST(InterruptedRun, StopsBetweenTwoStepsSaysWhereAndEndsByTheSignal)
{
    // 10,000,000 steps of 1 s, Probe 7 recorded at interval 10: the line of
    // t = 10j (j >= 1) is written in the step that starts at t = 10j, so
    // after k steps (k >= 1) k - 1 ... 0 holds (k - 1) / 10 whole lines, all
    // in ..._613815001.txt (begun at t = 10), and the simulated time is k.
    const fs::path folder = FreshFolder();
    const fs::path flight = WriteFlight(folder / "flight.json", kLongFlight);
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        const fs::path at = folder / std::to_string(signal);
        const pid_t pid = StartHost({"run", flight.string(), "--root", (at / "root").string(), "--module", KESTREL_MODULE}, at);
        WaitUntilWritten(at / "root" / kDataFile);
        ::kill(pid, signal);
        const ProgramEnd end = WaitProgram(pid, std::chrono::minutes(2));
        EXPECT_EQ(end.signal, signal);

        const std::string err = ReadFile(at / "stderr.txt");
        std::smatch found;
        ASSERT_TRUE(std::regex_match(err, found, std::regex("kestrel-host: stopped by SIG(INT|TERM) at step ([0-9]+) of "
                                                            "10000000, simulated time ([0-9]+)\\.00 s, ([0-9]+) lines? "
                                                            "written; the data files kept, in (.*): (.*) \\(([0-9]+) "
                                                            "lines?\\)\n")))
            << err;
        EXPECT_EQ(found[1].str(), signal == SIGINT ? "INT" : "TERM");
        const long steps = std::stol(found[2].str());
        EXPECT_EQ(std::stol(found[3].str()), steps);
        EXPECT_EQ(std::stol(found[4].str()), (steps - 1) / 10);
        EXPECT_EQ(found[5].str(), (at / "root").string());
        EXPECT_EQ(found[6].str(), kDataFile);
        EXPECT_EQ(found[7].str(), found[4].str());
        const std::string data = ReadFile(at / "root" / kDataFile);
        EXPECT_EQ(static_cast<long>(Lines(data).size()), (steps - 1) / 10);
        EXPECT_EQ(data.back(), '\n');
    }
}

TEST(InterruptedRun, ABatchStopsAtTheFlightPlayingAndCountsTheFlightsNotPlayed)
{
    // The long flight above first of a list of three: SIGINT once its data
    // file holds a line; the two three-line flights after it are not played.
    const fs::path folder = FreshFolder();
    const fs::path flight = WriteFlight(folder / "flight.json", kLongFlight);
    const std::string three = (fs::path(KESTREL_FLIGHTS) / "three-lines.json").string();
    WriteFile(folder / "list.txt", flight.string() + "\t" + (folder / "a").string() + "\n" + three + "\t" +
                                       (folder / "b").string() + "\n" + three + "\t" + (folder / "c").string() + "\n");
    const pid_t pid = StartHost({"batch", (folder / "list.txt").string(), "--module", KESTREL_MODULE}, folder);
    WaitUntilWritten(folder / "a" / kDataFile);
    ::kill(pid, SIGINT);
    const ProgramEnd end = WaitProgram(pid, std::chrono::minutes(2));
    EXPECT_EQ(end.signal, SIGINT);
    EXPECT_EQ(ReadFile(folder / "stdout.txt"), "kestrel-host batch: [1/3] " + flight.string() + ": stopped by SIGINT (" +
                                                   (folder / "a.err").string() + " says where); 2 flight(s) not played\n");
    EXPECT_THAT(ReadFile(folder / "a.err"), HasSubstr("kestrel-host: stopped by SIGINT at step "));
    EXPECT_FALSE(fs::exists(folder / "b.out"));
}

TEST(InterruptedRun, WhileALargeScenarioIsCheckedStopsAtOnceBeforeTheModuleIsLoaded)
{
    // A scenario of one item line of 256 MiB, read (in bounded memory) while
    // the flight is checked, which takes a second or more: SIGINT once the
    // host has it open stops the run at once, before the module is loaded
    // (no root made, no trace), and it ends by the signal.
    const fs::path folder = FreshFolder();
    {
        std::ofstream scenario(folder / "big.scn", std::ios::binary);
        scenario << "BEGIN_MFD left 256 200 8 10\nNOTE ";
        const std::string block(1 << 20, 'x');
        for (int i = 0; i < 256; ++i) {
            scenario << block;
        }
        scenario << "\nEND_MFD\n";
    }
    const fs::path flight = WriteFlight(folder / "flight.json", R"({"vessels": [{"name": "Probe 7", "pitch_deg": [[0, 0]]}],
        "steps": [{"dt": 1.0, "count": 10}], "events": [{"step": 0, "load": "big.scn"}]})");
    const pid_t pid = StartHost({"run", flight.string(), "--root", (folder / "root").string(), "--module", KESTREL_MODULE,
                                 "--trace", (folder / "trace.txt").string()},
                                folder);
    // Its descriptors, for the scenario's.
    auto reading = [&] {
        std::error_code ec;
        for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
            if (fs::read_symlink(fd.path(), ec) == folder / "big.scn") {
                return true;
            }
        }
        return false;
    };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!reading() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ::kill(pid, SIGINT);
    const auto signalled = std::chrono::steady_clock::now();
    const ProgramEnd end = WaitProgram(pid, std::chrono::minutes(2));
    EXPECT_LT(std::chrono::steady_clock::now() - signalled, std::chrono::seconds(2));
    EXPECT_EQ(end.signal, SIGINT);
    EXPECT_EQ(ReadFile(folder / "stderr.txt"), "kestrel-host: stopped by SIGINT while the flight was checked, before the "
                                               "module was loaded; nothing was written\n");
    EXPECT_FALSE(fs::exists(folder / "root"));
    EXPECT_FALSE(fs::exists(folder / "trace.txt"));
}

// ---- a line's system calls ----

TEST(LineCost, OneOpenOneWriteOneClosePerLineOfTheDataFile)
{
    if (std::system("command -v strace >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "strace is not installed (scripts/install-deps.sh installs it)";
    }
    // 1001 steps of 1 s, interval 10: samples at 0 (no line), 10, ..., 1000:
    // 100 lines into one file, which holds a line with no line end before:
    // read once, for that, and the line end goes with the first line.
    const fs::path folder = FreshFolder();
    std::string flight = ThreeLineFlight("");
    flight.replace(flight.find("\"count\": 31"), 11, "\"count\": 1001");
    WriteFlight(folder / "flight.json", flight);
    fs::create_directories(folder / "root/KestrelScribeData");
    WriteFile(folder / "root" / kDataFile, "0.0=pitch(1.00, 2.00, 10.0)");
    const fs::path log = folder / "strace.txt";
    // The leak checker of a sanitizer build cannot run under ptrace.
    const std::string command = "ASAN_OPTIONS=detect_leaks=0 strace -f -y -qq -e trace=open,openat,openat2,creat,write,writev,pwrite64,close -o '" +
                                log.string() + "' '" + KESTREL_HOST + "' run '" + (folder / "flight.json").string() +
                                "' --root '" + (folder / "root").string() + "' --module '" + KESTREL_MODULE +
                                "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    ASSERT_EQ(Lines(ReadFile(folder / "root" / kDataFile)).size(), 101u);

    std::map<std::string, std::size_t> calls; // on the data file, by name; opens by how
    for (const std::string& line : Lines(ReadFile(log))) {
        if (line.find("Probe 7_613815001.txt") == std::string::npos) {
            continue;
        }
        const std::size_t name = line.find_first_not_of("0123456789 ");
        std::string call = line.substr(name, line.find('(', name) - name);
        if (call.starts_with("open") || call == "creat") {
            call = line.find("O_WRONLY") != std::string::npos ? "open to write" : "open to read";
        }
        ++calls[call];
    }
    EXPECT_EQ(calls["open to write"], 100u);
    EXPECT_EQ(calls["write"], 100u);
    EXPECT_EQ(calls["writev"] + calls["pwrite64"], 0u);
    // Every open is closed; the one read is of the lines the file held.
    EXPECT_EQ(calls["close"], calls["open to write"] + calls["open to read"]);
    EXPECT_EQ(calls["open to read"], 1u);
}

// ---- progress ----

TEST(Progress, OneLineOnStandardErrorWhenItIsNoTerminalNothingOnStandardOutput)
{
    // KESTREL_PROGRESS_AFTER=0 shows it for a run of any length. The
    // three-line flight: 31 steps, t = 31 s at the end, 3 lines.
    const HostRun plain = RunFlight(Flight("three-lines.json"), FreshFolder("plain"));
    ::setenv("KESTREL_PROGRESS_AFTER", "0", 1);
    const HostRun shown = RunFlight(Flight("three-lines.json"), FreshFolder("shown"));
    ::unsetenv("KESTREL_PROGRESS_AFTER");
    ASSERT_EQ(plain.exitCode, 0) << plain.err;
    ASSERT_EQ(shown.exitCode, 0) << shown.err;
    EXPECT_EQ(plain.err, ""); // a short run shows nothing
    EXPECT_TRUE(std::regex_match(shown.err, std::regex("kestrel-host: 31 of 31 steps in [0-9]+\\.[0-9] s \\([0-9]+ "
                                                       "steps/s\\), simulated time 31\\.00 s, 3 lines written\n")))
        << shown.err;
    EXPECT_EQ(shown.out, plain.out);
}
