// What kestrel-records does to what it is pointed at: each kind of node as
// the output, each kind of input, and runs interrupted or killed midway.
#include "tests/records/ToolRunner.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
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
        std::string redirect = ""; // after the command: where the shell sends standard output
        int mode = -1;             // of `landed`, when it is to be checked
        int owner = -1;            // ...and its owner's user id
    };
    // Refused before any input is read: the FIFO after the record has no
    // writer, and opening it would wait until the time limit.
    const std::string unread = "A_613815001.txt wait.fifo";
    const std::string longestName = std::string(251, 'n') + ".out";
    // What a new file's mode is here: the umask is the test's own.
    const mode_t umaskNow = umask(0);
    umask(umaskNow);
    const int newFileMode = static_cast<int>(0666 & ~umaskNow);
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
        // Standard output that is a regular file: the rules of a file named.
        {"standard output appended to a data file", "echo '0.0=pitch(1.00, 2.00, 10.0)' > B_613815002.txt", "-", 2,
         "standard output: goes to ", nullptr, "B_613815002.txt", fs::file_type::regular, false, unread, nullptr,
         " >> B_613815002.txt"},
        {"/dev/stdout appended to a data file", "echo '0.0=pitch(1.00, 2.00, 10.0)' > B_613815002.txt", "/dev/stdout",
         2, "/dev/stdout: goes to ", nullptr, "B_613815002.txt", fs::file_type::regular, false, unread, nullptr,
         " >> B_613815002.txt"},
        {"standard output appended to an input", "", "-", 2, "standard output: is one of the files read", nullptr,
         "A_613815001.txt", fs::file_type::regular, false, unread, nullptr, " >> A_613815001.txt"},
        // The data-file rule where a link leads, a first line ended by CR LF,
        // and a relative link in a folder read from that folder.
        {"a link to a data file", "echo '0.0=pitch(1.00, 2.00, 10.0)' > B_613815002.txt; ln -s B_613815002.txt t.out",
         "t.out", 2, "t.out: is a data file of the recorder", nullptr, "t.out", fs::file_type::symlink, false, unread},
        {"a data file whose first line ends in CR LF", "printf '0.0=pitch(1.00, 2.00, 10.0)\\r\\n' > C_613815003.txt",
         "C_613815003.txt", 2, "C_613815003.txt: is a data file of the recorder", nullptr, "C_613815003.txt",
         fs::file_type::regular, false, unread},
        {"a link in a folder to a name beside it", "mkdir sub; echo old > sub/real.out; ln -s real.out sub/link.out",
         "sub/link.out", 0, "into sub/link.out", "sub/real.out", "sub/link.out", fs::file_type::symlink},
        // What its user may not write in place is not replaced; what is
        // replaced keeps its mode, and its owner where it may.
        {"their own file of mode 0444", "chmod 777 .; echo old > ro.out; chown 65534:65534 ro.out; chmod 444 ro.out",
         "ro.out", 2, "ro.out: cannot write it (Permission denied)", nullptr, "ro.out", fs::file_type::regular, true,
         unread},
        {"another user's file of mode 0644", "chmod 777 .; echo old > theirs.out", "theirs.out", 2,
         "theirs.out: cannot write it (Permission denied)", nullptr, "theirs.out", fs::file_type::regular, true, unread},
        {"their own file in a folder they may not write", "echo old > mine.out; chown 65534:65534 mine.out", "mine.out",
         2, "mine.out: cannot write it: no new file can be made in its folder . (Permission denied)", nullptr,
         "mine.out", fs::file_type::regular, true, unread},
        {"their own file in a subfolder they may not write", "mkdir ro; echo old > ro/mine.out; chown 65534:65534 ro/mine.out",
         "ro/mine.out", 2, "ro/mine.out: cannot write it: no new file can be made in its folder ro (Permission denied)",
         nullptr, "ro", fs::file_type::directory, true, unread},
        {"no such file: as any new file, 0666 less the umask", "", "fresh.out", 0, "into fresh.out", "fresh.out", nullptr,
         fs::file_type::none, false, "A_613815001.txt", nullptr, "", newFileMode},
        {"their own file of mode 0600: theirs and 0600 still",
         "chmod 777 .; echo old > own.out; chown 65534:65534 own.out; chmod 600 own.out", "own.out", 0, "into own.out",
         "own.out", nullptr, fs::file_type::none, true, "A_613815001.txt", nullptr, "", 0600, 65534},
        {"another user's file of mode 0640, replaced by root: theirs and 0640 still",
         "echo old > other.out; chown 65534:65534 other.out; chmod 640 other.out", "other.out", 0, "into other.out",
         "other.out", nullptr, fs::file_type::none, false, "A_613815001.txt", nullptr, "", 0640, 65534},
        // A data file's name that cannot be read to tell: left alone.
        {"named like a record, and its user may write but not read it",
         "chmod 777 .; echo '0.0=pitch(1.00, 2.00, 10.0)' > W_613815004.txt; chown 65534:65534 W_613815004.txt; "
         "chmod 200 W_613815004.txt",
         "W_613815004.txt", 2, "W_613815004.txt: is a data file of the recorder", nullptr, "W_613815004.txt",
         fs::file_type::regular, true, unread},
        // Standard input is one of the files read.
        {"standard input, from the target", "cp A_613815001.txt in.out", "in.out", 2,
         "in.out: is one of the files read", nullptr, "in.out", fs::file_type::regular, false, "-", nullptr,
         " < in.out"},
        // A name is shown with every byte beyond printable ASCII as \xNN.
        {"a name with an escape, a line end and a letter beyond ASCII", "", "e\x1b[31m\r\n\xC3\xA9.out", 0,
         "into e\\x1B[31m\\x0D\\x0A\\xC3\\xA9.out\n", "e\x1b[31m\r\n\xC3\xA9.out", nullptr,
         fs::file_type::none},
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
        if (c.setUp.find("chown") != std::string::npos && geteuid() != 0) {
            std::cout << "skipped \"" << c.name << "\": giving a file to another user needs root\n";
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
                                              c.inputs + " -o '" + c.output + "'" + c.redirect +
                                              "; code=$?; wait; exit $code",
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
                struct stat status {};
                ASSERT_EQ(lstat((folder / c.landed).c_str(), &status), 0) << name;
                if (c.mode >= 0) {
                    EXPECT_EQ(status.st_mode & 07777, static_cast<mode_t>(c.mode)) << name;
                }
                if (c.owner >= 0) {
                    EXPECT_EQ(status.st_uid, static_cast<uid_t>(c.owner)) << name;
                }
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
        {"standard input, named -", "", "cat A_613815001.txt | ", "-", nullptr},
        {"standard input from a file named too", "", "", "- A_613815001.txt < A_613815001.txt",
         "A_613815001.txt: named twice (the same file as standard input)"},
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

TEST(Output, AWritePastTheFileSizeLimitFailsAndLeavesNothing)
{
    // ulimit -f 1 holds a file to 1024 bytes: the table of 100 lines is
    // 3,400 bytes. The write fails as a full disk's would, with its reason.
    const fs::path folder = FreshFolder();
    std::string lines;
    for (int i = 0; i < 100; ++i) {
        lines += std::to_string(i * 10) + ".0=pitch(5.00, 7.50, 10.0)\n";
    }
    WriteFile(folder / "A_613815001.txt", lines);
    WriteFile(folder / "out.csv", "the table of an earlier run\n");
    const ToolRun run = RunScript("ulimit -f 1; \"$r\" export A_613815001.txt -o out.csv", folder);
    EXPECT_EQ(run.exitCode, 2) << run.err;
    EXPECT_THAT(run.err, HasSubstr("kestrel-records: out.csv: cannot write it (File too large)\n"));
    EXPECT_THAT(TemporaryFiles(folder), IsEmpty());
    EXPECT_EQ(ReadFile(folder / "out.csv"), "the table of an earlier run\n");
}

TEST(Output, RunsAtOnceOnOneTargetEachReplaceItWhole)
{
    // Twelve runs at a time on one target, six times: no run fails because
    // another ran (one run's leftover sweep never takes another's file), and
    // the target is always one whole table.
    const fs::path folder = FreshFolder();
    std::string lines;
    std::string table = "vessel,stamp,start_s,start_pitch_deg,end_pitch_deg,span_s\r\n";
    for (int i = 0; i < 2000; ++i) {
        lines += std::to_string(i) + ".0=pitch(5.00, 7.50, 1.0)\n";
        table += "A,613815001," + std::to_string(i) + ".0,5.00,7.50,1.0\r\n";
    }
    WriteFile(folder / "A_613815001.txt", lines);
    for (int round = 0; round < 6; ++round) {
        std::vector<pid_t> runs;
        for (int i = 0; i < 12; ++i) {
            runs.push_back(StartProgram(KESTREL_RECORDS,
                                        {"export", (folder / "A_613815001.txt").string(), "-o", (folder / "out.csv").string()},
                                        folder / ("run " + std::to_string(round) + "-" + std::to_string(i))));
        }
        for (std::size_t i = 0; i < runs.size(); ++i) {
            const ProgramEnd end = WaitProgram(runs[i], std::chrono::seconds(60));
            const fs::path outputs = folder / ("run " + std::to_string(round) + "-" + std::to_string(i));
            EXPECT_EQ(end.exitCode, 0) << "round " << round << ", run " << i << ": " << ReadFile(outputs / "stderr.txt");
        }
        EXPECT_TRUE(ReadFile(folder / "out.csv") == table) << "round " << round;
        EXPECT_THAT(TemporaryFiles(folder), IsEmpty()) << "round " << round;
    }
}

TEST(Output, OnlyItsOwnLeftoversGo)
{
    // What a run removes beside its target before it writes: a file named as
    // a temporary file of that target, with each hex digit at the edges of
    // its range, that no running program holds, of its own user, with no
    // other name; never an input, a link, or a file named otherwise.
    struct Case {
        const char* name;
        std::string setUp; // in the case's folder, holding A_613815001.txt
        std::string inputs;
        std::vector<std::string> gone; // the rest stays as it was
    };
    const std::string t = "out.csv.kestrel-records-";
    const std::vector<Case> cases = {
        {"every digit from 0 to 9 and a to f",
         "touch " + t + "01234567.tmp " + t + "89abcdef.tmp " + t + "00000009.tmp " + t + "0000000a.tmp " + t +
             "0000000f.tmp",
         "A_613815001.txt",
         {t + "01234567.tmp", t + "89abcdef.tmp", t + "00000009.tmp", t + "0000000a.tmp", t + "0000000f.tmp"}},
        {"beside them: ':' after 9, '`' before a, 'g' after f, a capital",
         "touch '" + t + "0000000:.tmp' '" + t + "0000000`.tmp' '" + t + "0000000g.tmp' '" + t + "0000000F.tmp'",
         "A_613815001.txt", {}},
        {"seven or nine digits, another end, another target",
         "touch " + t + "0000000.tmp " + t + "000000000.tmp " + t + "00000000.tmq " + "other.csv.kestrel-records-00000000.tmp",
         "A_613815001.txt", {}},
        {"an input named as a temporary file", "cp A_613815001.txt " + t + "0badcafe.tmp",
         "A_613815001.txt " + t + "0badcafe.tmp", {}},
        {"a second name of a file", "echo kept > kept.txt; ln kept.txt " + t + "00000001.tmp", "A_613815001.txt", {}},
        {"a link", "ln -s A_613815001.txt " + t + "00000002.tmp", "A_613815001.txt", {}},
        {"another user's file", "touch " + t + "00000003.tmp; chown 65534 " + t + "00000003.tmp", "A_613815001.txt", {}},
    };
    for (const Case& c : cases) {
        if (c.setUp.find("chown") != std::string::npos && geteuid() != 0) {
            std::cout << "skipped \"" << c.name << "\": giving a file to another user needs root\n";
            continue;
        }
        const fs::path folder = FreshFolder(std::to_string(&c - cases.data()));
        WriteFile(folder / "A_613815001.txt", kRecord);
        ASSERT_EQ(RunScript(c.setUp, folder).exitCode, 0) << c.name;
        auto expected = Snapshot(folder);
        for (const std::string& gone : c.gone) {
            EXPECT_EQ(expected.erase(gone), 1u) << c.name << ": " << gone;
        }
        const ToolRun run = RunScript("\"$r\" export " + c.inputs + " -o out.csv", folder);
        EXPECT_EQ(run.exitCode, 0) << c.name << "\n" << run.err;
        auto after = Snapshot(folder);
        EXPECT_EQ(after.erase("out.csv"), 1u) << c.name;
        EXPECT_EQ(after, expected) << c.name;
    }
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
