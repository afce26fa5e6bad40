// What kestrel-records does to what it is pointed at: each kind of node as
// the output, each kind of input, and runs interrupted or killed midway.
#include "tests/records/ToolRunner.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <thread>

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

namespace {

const std::string kRecord = "0.0=pitch(5.00, 7.50, 10.0)\n10.0=pitch(7.50, 8.00, 10.0)\n";
// kRecord as `export` writes it, in A_613815001.txt.
const std::string kTable = "vessel,stamp,start_s,start_pitch_deg,end_pitch_deg,span_s\r\n"
                           "A,613815001,0.0,5.00,7.50,10.0\r\n"
                           "A,613815001,10.0,7.50,8.00,10.0\r\n";

bool IsChart(const std::string& svg)
{
    return svg.rfind("<svg ", 0) == 0 && svg.size() > 7 && svg.substr(svg.size() - 7) == "</svg>\n" &&
           svg.find(">Pitch of A, stamp 613815001</text>") != std::string::npos;
}

// bash -c SCRIPT in `folder`, with "$r" the program.
ToolRun RunScript(const std::string& script, const fs::path& folder, int seconds = 20)
{
    return RunTool("/bin/bash", {"-c", "r=\"$1\"; " + script, "bash", KESTREL_RECORDS}, folder, seconds);
}

// What a folder holds: each entry's kind, and a regular file's bytes.
std::map<std::string, std::string> Snapshot(const fs::path& folder)
{
    std::map<std::string, std::string> entries;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const fs::file_type type = fs::symlink_status(entry.path()).type();
        entries[entry.path().filename().string()] = std::to_string(static_cast<int>(type)) + ":" +
                                                    (type == fs::file_type::regular ? ReadFile(entry.path()) : "");
    }
    return entries;
}

void MakeSocket(const fs::path& path)
{
    // Bound in a child that works in the folder: a short name fits sun_path.
    const pid_t child = fork();
    if (child == 0) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strcpy(address.sun_path, "socket");
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        _exit(chdir(path.parent_path().c_str()) == 0 && fd >= 0 &&
                      bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0
                  ? 0
                  : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(fs::is_socket(path)) << path;
}

// A prefix that runs a command as a user who is not root (and cannot write
// the test's folders); "" when the tests run as such a user already.
std::optional<std::string> AsANormalUser()
{
    if (geteuid() != 0) {
        return "";
    }
    if (access("/usr/bin/setpriv", X_OK) == 0) {
        return "/usr/bin/setpriv --reuid=65534 --regid=65534 --clear-groups ";
    }
    if (access("/usr/sbin/runuser", X_OK) == 0) {
        return "/usr/sbin/runuser -u nobody -- ";
    }
    return std::nullopt;
}

TEST(Output, EachKindOfTarget)
{
    struct Case {
        const char* name;
        std::string setUp;  // shell commands run first in the case's folder
        std::string output; // -o; a FIFO's reader is started with the command
        int exitCode;
        const char* message;    // in the report (exit 0) or on stderr (2)
        const char* landed;     // the file that holds the output; "": standard output; nullptr: none
        const char* node;       // ...and a node that must keep its kind
        fs::file_type nodeKind; // (its content too, when a regular file other than `landed`)
        bool asNormalUser = false;
        std::string inputs = "A_613815001.txt";
        std::function<void(const fs::path&)> make = nullptr;
    };
    // Refused before any input is read: the FIFO after the record has no
    // writer, and opening it would wait until the time limit.
    const std::string unread = "A_613815001.txt wait.fifo";
    const std::string longestName = std::string(251, 'n') + ".out";
    const std::vector<Case> cases = {
        {"no such file", "", "new.out", 0, "of 1 file into new.out", "new.out", "new.out", fs::file_type::regular},
        {"a regular file: replaced whole", "echo old > old.out", "old.out", 0, "into old.out", "old.out", "old.out",
         fs::file_type::regular},
        {"named like a record but no data line first", "echo hello > notes_613815009.txt", "notes_613815009.txt", 0,
         "into notes_613815009.txt", "notes_613815009.txt", nullptr, fs::file_type::none},
        {"a data file that is not an input", "echo '0.0=pitch(1.00, 2.00, 10.0)' > B_613815002.txt", "B_613815002.txt",
         2, "B_613815002.txt: is a data file of the recorder", nullptr, "B_613815002.txt", fs::file_type::regular, false,
         unread},
        {"an input by another name", "ln -s A_613815001.txt in.link", "in.link", 2, "in.link: is one of the files read",
         nullptr, "in.link", fs::file_type::symlink, false, unread},
        {"a symbolic link: followed, and kept", "echo old > real.out; ln -s real.out link.out", "link.out", 0,
         "into link.out", "real.out", "link.out", fs::file_type::symlink},
        {"a link to nothing: the file it names is made", "ln -s made.out dangling.out", "dangling.out", 0,
         "into dangling.out", "made.out", "dangling.out", fs::file_type::symlink},
        {"a character device (a null device of our own)", "mknod null c 1 3", "null", 0, "into null", nullptr, "null",
         fs::file_type::character},
        {"a FIFO, read at its other end", "mkfifo pipe", "pipe", 0, "into pipe", "got", "pipe", fs::file_type::fifo},
        {"a folder", "mkdir folder", "folder", 2, "folder: is a folder", nullptr, "folder", fs::file_type::directory,
         false, unread},
        {"a socket", "", "socket", 2, "socket: is a socket", nullptr, "socket", fs::file_type::socket, false, unread,
         MakeSocket},
        {"a block device", "mknod disk b 7 0", "disk", 2, "disk: is a block device", nullptr, "disk",
         fs::file_type::block, false, unread},
        // A folder holds names of up to 255 bytes: the longest is written
        // whole (its temporary name is cut to fit), the next is refused.
        {"the longest name a folder holds", "", longestName, 0, "into n", longestName.c_str(), nullptr,
         fs::file_type::none},
        {"a name one longer", "", longestName + "n", 2, "File name too long", nullptr, nullptr, fs::file_type::none},
        {"-: standard output", "", "-", 0, nullptr, "", nullptr, fs::file_type::none},
        {"/dev/stdout, as a user who can write neither /dev nor this folder", "", "/dev/stdout", 0, nullptr, "", nullptr,
         fs::file_type::none, true},
        {"a regular file, and an input with a bad line: the file stays",
         "echo old > old.out; printf '0.0=pitch(5.00, 7.50, 10.0)\\nhello\\n' > bad_613815003.txt", "old.out", 2,
         "bad_613815003.txt:2: not a data line", nullptr, "old.out", fs::file_type::regular, false,
         "bad_613815003.txt"},
    };
    const std::optional<std::string> normalUser = AsANormalUser();
    for (const Case& c : cases) {
        if (c.setUp.find("mknod") != std::string::npos && geteuid() != 0) {
            std::cout << "skipped \"" << c.name << "\": making a device node needs root\n";
            continue;
        }
        if (c.asNormalUser && !normalUser) {
            std::cout << "skipped \"" << c.name << "\": neither setpriv nor runuser is here to drop root\n";
            continue;
        }
        for (const std::string command : {"export", "plot"}) {
            const std::string name = std::string(c.name) + ", " + command;
            const fs::path folder = FreshFolder(std::to_string(&c - cases.data()) + command);
            WriteFile(folder / "A_613815001.txt", kRecord);
            ASSERT_EQ(RunScript("mkfifo wait.fifo; " + c.setUp, folder).exitCode, 0) << name;
            if (c.make) {
                c.make(folder / c.node);
            }
            const auto before = Snapshot(folder);
            const std::string reader = c.output == "pipe" ? "timeout 20 sh -c 'cat pipe > got' & " : "";
            const ToolRun run = RunScript(reader + (c.asNormalUser ? *normalUser : "") + "\"$r\" " + command + " " +
                                              c.inputs + " -o '" + c.output + "'; code=$?; wait; exit $code",
                                          folder);
            EXPECT_EQ(run.exitCode, c.exitCode) << name << "\n" << run.err;
            if (c.message != nullptr) {
                EXPECT_THAT(c.exitCode == 0 ? run.out : run.err, HasSubstr(c.message)) << name;
            }
            auto written = [&](const std::string& bytes) {
                return command == "export" ? bytes == kTable : IsChart(bytes);
            };
            if (c.landed != nullptr && *c.landed == '\0') {
                EXPECT_TRUE(written(run.out)) << name << ": the output alone on standard output\n" << run.out;
            } else if (c.landed != nullptr) {
                EXPECT_TRUE(written(ReadFile(folder / c.landed))) << name;
            }
            // Nothing else changed, and no temporary file is left.
            auto after = Snapshot(folder);
            if (c.landed != nullptr && *c.landed != '\0') {
                after.erase(c.landed);
                auto expected = before;
                expected.erase(c.landed);
                EXPECT_EQ(after, expected) << name;
            } else {
                EXPECT_EQ(after, before) << name;
            }
            if (c.node != nullptr) {
                EXPECT_EQ(fs::symlink_status(folder / c.node).type(), c.nodeKind) << name;
            }
        }
    }
}

TEST(Input, EachKindIsReadOnce)
{
    struct Case {
        const char* name;
        std::string setUp;  // shell commands run first
        std::string before; // before the command (a pipe into it)
        std::string inputs;
        const char* note; // on stderr
    };
    const std::vector<Case> cases = {
        {"a file", "", "", "A_613815001.txt", nullptr},
        {"a pipe: <(cat ...)", "", "", "<(cat A_613815001.txt)", nullptr},
        {"standard input, a pipe", "", "cat A_613815001.txt | ", "/dev/stdin", nullptr},
        {"a FIFO", "mkfifo fifo; timeout 20 sh -c 'cat A_613815001.txt > fifo' &", "", "fifo", nullptr},
        {"named twice", "", "", "A_613815001.txt ./A_613815001.txt", "./A_613815001.txt: named twice"},
    };
    // What each command makes of the record, read once.
    const std::vector<std::pair<std::string, std::function<void(const ToolRun&, const fs::path&)>>> commands = {
        {"check",
         [](const ToolRun& run, const fs::path&) {
             EXPECT_EQ(run.exitCode, 0);
             EXPECT_THAT(run.out, HasSubstr(": good: 2 lines, time 0.0 to 20.0 s, pitch 5.00 to 8.00 degrees"));
             EXPECT_THAT(run.out, HasSubstr("checked 1 file: 1 good, 0 with bad lines\n"));
         }},
        {"export",
         [](const ToolRun& run, const fs::path&) {
             EXPECT_EQ(run.exitCode, 0);
             // The vessel is the name's: a pipe's is the system's.
             EXPECT_EQ(Lines(run.out).size(), 3u) << run.out;
             EXPECT_EQ(Occurrences(run.out, ",0.0,5.00,7.50,10.0\r\n"), 1u);
             EXPECT_EQ(Occurrences(run.out, ",10.0,7.50,8.00,10.0\r\n"), 1u);
         }},
        {"export -o t.csv",
         [](const ToolRun& run, const fs::path& folder) {
             EXPECT_EQ(run.exitCode, 0);
             EXPECT_EQ(Lines(ReadFile(folder / "t.csv")).size(), 3u);
             EXPECT_EQ(Occurrences(ReadFile(folder / "t.csv"), ",10.0,7.50,8.00,10.0\r\n"), 1u);
         }},
        {"plot -o chart.svg",
         [](const ToolRun& run, const fs::path& folder) {
             EXPECT_EQ(run.exitCode, 0);
             EXPECT_THAT(run.out, HasSubstr("plotted 3 samples of 1 file into chart.svg"));
             EXPECT_EQ(Occurrences(ReadFile(folder / "chart.svg"), "<g class=\"series\">"), 1u);
         }},
    };
    for (const Case& c : cases) {
        for (std::size_t k = 0; k < commands.size(); ++k) {
            const auto& [command, expect] = commands[k];
            const std::string name = std::string(c.name) + ", " + command;
            const fs::path folder =
                FreshFolder(std::to_string(&c - cases.data()) + "-" + std::to_string(k));
            WriteFile(folder / "A_613815001.txt", kRecord);
            const std::string verb = command.substr(0, command.find(' '));
            const std::string options = command.find(' ') == std::string::npos ? "" : command.substr(command.find(' '));
            const ToolRun run =
                RunScript(c.setUp + "\n" + c.before + "\"$r\" " + verb + " " + c.inputs + options, folder);
            SCOPED_TRACE(name + "\n" + run.err);
            expect(run, folder);
            if (c.note != nullptr) {
                EXPECT_THAT(run.err, HasSubstr(c.note));
            } else {
                EXPECT_THAT(run.err, IsEmpty());
            }
        }
    }
}

// Opens `fifo` to write once a reader has it open; -1 after 20 s without one.
int OpenWhenRead(const fs::path& fifo)
{
    for (int tries = 0; tries < 4000; ++tries) {
        const int fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
            return fd;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return -1;
}

std::vector<std::string> TemporaryFiles(const fs::path& folder)
{
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().filename().string().rfind("out.csv.kestrel-records-", 0) == 0) {
            found.push_back(entry.path().filename().string());
        }
    }
    return found;
}

// `export FIFO -o out.csv` started, with its first line read, and its
// temporary file beside out.csv; the FIFO's writing end.
struct Midway {
    pid_t pid = -1;
    int fifo = -1;
};

Midway StartExport(const fs::path& folder, const std::string& fifoName)
{
    const fs::path fifo = folder / fifoName;
    EXPECT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    Midway run;
    run.pid = StartProgram(KESTREL_RECORDS, {"export", fifo.string(), "-o", (folder / "out.csv").string()},
                           folder / ("output of " + fifoName));
    run.fifo = OpenWhenRead(fifo);
    EXPECT_GE(run.fifo, 0) << "export never opened " << fifo;
    EXPECT_EQ(write(run.fifo, kRecord.data(), 28), 28);
    return run;
}

TEST(Output, AnInterruptedRunLeavesNothing)
{
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        const std::string name = strsignal(signal);
        const fs::path folder = FreshFolder(std::to_string(signal));
        WriteFile(folder / "out.csv", "the table of an earlier run\n");
        const Midway run = StartExport(folder, "in.fifo");
        EXPECT_EQ(TemporaryFiles(folder).size(), 1u) << name;
        kill(run.pid, signal);
        const ProgramEnd end = WaitProgram(run.pid, std::chrono::seconds(20));
        close(run.fifo);
        EXPECT_EQ(end.signal, signal) << name << ": ended as that signal ends a program";
        EXPECT_THAT(TemporaryFiles(folder), IsEmpty()) << name;
        EXPECT_EQ(ReadFile(folder / "out.csv"), "the table of an earlier run\n") << name;
    }
}

TEST(Output, AKilledRunsTemporaryFileGoesWithTheNextRun)
{
    const fs::path folder = FreshFolder();
    WriteFile(folder / "A_613815001.txt", kRecord);
    const Midway killed = StartExport(folder, "killed.fifo");
    kill(killed.pid, SIGKILL);
    WaitProgram(killed.pid, std::chrono::seconds(20));
    close(killed.fifo);
    const std::vector<std::string> left = TemporaryFiles(folder);
    ASSERT_EQ(left.size(), 1u) << "a killed run leaves its file, named after the target";

    // A run still going keeps its file while another writes the same target.
    const Midway going = StartExport(folder, "going.fifo");
    const ToolRun next = RunRecords({"export", "A_613815001.txt", "-o", "out.csv"}, folder);
    EXPECT_EQ(next.exitCode, 0) << next.err;
    EXPECT_EQ(ReadFile(folder / "out.csv"), kTable);
    const std::vector<std::string> now = TemporaryFiles(folder);
    ASSERT_EQ(now.size(), 1u);
    EXPECT_NE(now.front(), left.front()) << "the killed run's file is gone, the running one's stays";

    EXPECT_EQ(write(going.fifo, kRecord.data() + 28, kRecord.size() - 28), static_cast<ssize_t>(kRecord.size() - 28));
    close(going.fifo);
    const ProgramEnd end = WaitProgram(going.pid, std::chrono::seconds(20));
    EXPECT_EQ(end.exitCode, 0);
    EXPECT_THAT(TemporaryFiles(folder), IsEmpty());
    EXPECT_EQ(Lines(ReadFile(folder / "out.csv")).size(), 3u);
}

} // namespace
