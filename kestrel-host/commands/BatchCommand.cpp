#include "kestrel-host/commands/BatchCommand.h"

#include "kestrel-host/commands/Interrupts.h"
#include "kestrel-host/commands/OutputCapture.h"
#include "kestrel-host/commands/RunCommand.h"
#include "kestrel-host/common/HostError.h"
#include "kestrel-host/common/HostText.h"
#include "kestrel-host/common/Platform.h"
#include "kestrel-host/common/StopSignal.h"
#include "kestrel-host/flight/PathRules.h"
#include "kestrel-host/flight/PlainFile.h"
#include "kestrel-host/simulator/HostReset.h"
#include "kestrel-host/simulator/ModuleLoader.h"
#include "kestrel-host/simulator/NativeFiles.h"

#include <cstdio>
#include <set>
#include <iostream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct BatchFlight {
    fs::path flight;
    fs::path root;
    std::optional<fs::path> trace;
    fs::path out, err, code; // ROOT.out, ROOT.err, ROOT.code
};

std::vector<std::string> Fields(const std::string& line)
{
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t tab = line.find('\t'); tab != std::string::npos; tab = line.find('\t', start)) {
        fields.push_back(line.substr(start, tab - start));
        start = tab + 1;
    }
    fields.push_back(line.substr(start));
    return fields;
}

// ROOT with `suffix` added to its last part: "out/a" gives "out/a.out".
fs::path Beside(const fs::path& root, const std::string& suffix)
{
    fs::path file = root;
    file += suffix;
    return file;
}

// The longest line of a list: three paths of the longest length, two tabs.
constexpr std::size_t kLongestListLine = 3 * (kLongestPath + 1);
constexpr std::size_t kMostFlights = 10000;

// The list, read in bounded memory and checked whole before any flight is
// played: its fields' texts, and every path of every line against all the
// others (a TRACE that is another line's ROOT.out, a FLIGHT another line
// writes, two lines on one ROOT), into `paths`.
std::vector<BatchFlight> ReadList(const fs::path& list, const fs::path& module, const fs::path& start, RunPaths& paths)
{
    std::vector<BatchFlight> flights;
    if (const auto problem = paths.Input(list, list.string(), "the flight list")) {
        throw HostError(list.string() + ": " + *problem); // not reached: nothing is written yet
    }
    if (const auto problem = paths.Input(module, module.string(), "the module (--module)")) {
        throw HostError("--module: " + *problem);
    }
    auto onLine = [&](const PlainLine& read) {
        const std::string where = list.string() + ":" + std::to_string(read.number) + ": ";
        if (read.length > kLongestListLine) {
            throw HostError(where + "a line of " + std::to_string(read.length) + " characters; a line holds three paths, at most " +
                            std::to_string(kLongestListLine) + " characters");
        }
        const std::string line(read.kept);
        if (line.empty() || line.front() == '#') {
            return;
        }
        const std::vector<std::string> fields = Fields(line);
        if (fields.size() < 2 || fields.size() > 3 || fields[0].empty() || fields[1].empty() ||
            (fields.size() == 3 && fields[2].empty())) {
            throw HostError(where + "expected FLIGHT<tab>ROOT or FLIGHT<tab>ROOT<tab>TRACE");
        }
        const char* const names[] = {"FLIGHT", "ROOT", "TRACE"};
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (const auto problem = PathTextProblem(fields[i])) {
                throw HostError(where + names[i] + ": " + *problem);
            }
        }
        if (flights.size() == kMostFlights) {
            throw HostError(where + "more than " + std::to_string(kMostFlights) + " flights; a list holds at most that many");
        }
        BatchFlight flight;
        flight.flight = (start / fields[0]).lexically_normal();
        flight.root = (start / fields[1]).lexically_normal();
        if (!flight.root.has_filename()) { // "out/a/" is the folder "out/a"
            flight.root = flight.root.parent_path();
        }
        if (flight.root == flight.root.root_path()) {
            throw HostError(where + "the root " + QuotedPath(fields[1]) + " leaves no place for ROOT.out beside it");
        }
        flight.out = Beside(flight.root, ".out");
        flight.err = Beside(flight.root, ".err");
        flight.code = Beside(flight.root, ".code");
        const std::string owner = "line " + std::to_string(read.number) + "'s ";
        auto check = [&](const std::optional<std::string>& problem, const char* field) {
            if (problem) {
                throw HostError(where + field + ": " + *problem);
            }
        };
        check(paths.Input(flight.flight, fields[0], owner + "FLIGHT"), "FLIGHT");
        paths.DataFolderOf(flight.root);
        for (const auto& [file, name] : {std::pair{flight.out, "ROOT.out"}, std::pair{flight.err, "ROOT.err"},
                                         std::pair{flight.code, "ROOT.code"}}) {
            check(paths.Output(file, file.string(), owner + name), "ROOT");
        }
        check(paths.Root(flight.root, fields[1], fields[1]), "ROOT");
        if (fields.size() == 3) {
            flight.trace = (start / fields[2]).lexically_normal();
            check(CommandOutputProblem(fields[2]), "TRACE");
            check(paths.Output(*flight.trace, fields[2], owner + "TRACE"), "TRACE");
        }
        flights.push_back(flight);
    };
    std::string problem;
    if (!ReadPlainLines(list, kLongestListLine, false, onLine, problem)) {
        throw HostError(list.string() + ": cannot read the flight list: " + problem);
    }
    if (flights.empty()) {
        throw HostError(list.string() + ": the flight list holds no flight (one a line: FLIGHT<tab>ROOT[<tab>TRACE])");
    }
    return flights;
}

} // namespace

int RunBatch(const BatchOptions& options)
{
    const fs::path start = fs::current_path();
    std::vector<BatchFlight> flights;
    RunPaths paths;
    try {
        if (const auto problem = PathTextProblem(options.list.string())) {
            throw HostError("LIST: " + *problem);
        }
        const fs::path module =
            fs::absolute(options.module.value_or(options.programFolder / PluginFileName())).lexically_normal();
        flights = ReadList(fs::absolute(options.list).lexically_normal(), module, start, paths);
    } catch (const HostError& e) {
        std::cerr << "kestrel-host: " << e.what() << "\n";
        return 2;
    } catch (const StoppedBySignal& stopped) {
        std::cerr << "kestrel-host: stopped by " << SignalName(stopped.signal)
                  << " while the flight list was read; no flight played\n";
        EndByInterruption(stopped.signal);
    }

    // What the batch reads, by identity: no flight's output may reach it.
    const std::set<FileIdentity> inputs = IdentitiesAt(paths.Inputs());
    std::size_t played = 0;
    std::size_t clean = 0;
    for (const BatchFlight& entry : flights) {
        ++played;
        int code = 0;
        ResetHost();
        try {
            std::error_code ec;
            fs::create_directories(entry.root.parent_path(), ec);
            OutputCapture capture(entry.out, entry.err, inputs);
            RunOptions run;
            run.flight = entry.flight;
            run.root = entry.root;
            run.module = options.module;
            run.trace = entry.trace;
            run.programFolder = options.programFolder;
            run.batch = &paths;
            run.batchInputs = &inputs;
            code = RunFlight(run);
        } catch (const HostError& e) {
            std::cerr << "kestrel-host: " << e.what() << "\n";
            code = 2;
        }
        ResetHost();
        std::error_code ec;
        fs::current_path(start, ec);
        try {
            std::FILE* codeFile = OpenInPlace(entry.code, inputs, false, "the exit code");
            const std::string text = std::to_string(code) + "\n";
            const bool written = std::fputs(text.c_str(), codeFile) >= 0;
            if (std::fclose(codeFile) != 0 || !written) {
                throw HostError(entry.code.string() + ": cannot write the exit code");
            }
        } catch (const HostError& e) {
            std::cerr << "kestrel-host: " << e.what() << "\n";
        }
        clean += code == 0 ? 1 : 0;
        if (const int signal = Interruption()) {
            std::cout << "kestrel-host batch: [" << played << "/" << flights.size() << "] " << entry.flight.string()
                      << ": stopped by " << SignalName(signal) << " (" << entry.err.string() << " says where); "
                      << flights.size() - played << " flight(s) not played" << std::endl;
            EndByInterruption(signal);
        }
        std::cout << "kestrel-host batch: [" << played << "/" << flights.size() << "] " << entry.flight.string()
                  << ": exit " << code << std::endl;
    }
    std::cout << "kestrel-host batch: " << played << " flight(s) played, " << clean << " with exit 0, "
              << played - clean << " with another exit code" << std::endl;
    return 0;
}
