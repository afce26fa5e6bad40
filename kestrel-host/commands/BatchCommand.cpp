#include "kestrel-host/commands/BatchCommand.h"

#include "kestrel-host/commands/OutputCapture.h"
#include "kestrel-host/commands/RunCommand.h"
#include "kestrel-host/common/HostError.h"
#include "kestrel-host/simulator/HostReset.h"

#include <fstream>
#include <iostream>
#include <sstream>
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

std::vector<BatchFlight> ReadList(const fs::path& list, const fs::path& start)
{
    std::ifstream in(list, std::ios::binary);
    if (!in) {
        throw HostError(list.string() + ": cannot read the flight list");
    }
    std::vector<BatchFlight> flights;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.empty() || line.front() == '#') {
            continue;
        }
        const std::string where = list.string() + ":" + std::to_string(number) + ": ";
        const std::vector<std::string> fields = Fields(line);
        if (fields.size() < 2 || fields.size() > 3 || fields[0].empty() || fields[1].empty() ||
            (fields.size() == 3 && fields[2].empty())) {
            throw HostError(where + "expected FLIGHT<tab>ROOT or FLIGHT<tab>ROOT<tab>TRACE");
        }
        BatchFlight flight;
        flight.flight = (start / fields[0]).lexically_normal();
        flight.root = (start / fields[1]).lexically_normal();
        if (!flight.root.has_filename()) { // "out/a/" is the folder "out/a"
            flight.root = flight.root.parent_path();
        }
        if (flight.root == flight.root.root_path()) {
            throw HostError(where + "the root '" + fields[1] + "' leaves no place for ROOT.out beside it");
        }
        if (fields.size() == 3) {
            flight.trace = (start / fields[2]).lexically_normal();
        }
        flight.out = Beside(flight.root, ".out");
        flight.err = Beside(flight.root, ".err");
        flight.code = Beside(flight.root, ".code");
        flights.push_back(flight);
    }
    return flights;
}

} // namespace

int RunBatch(const BatchOptions& options)
{
    const fs::path start = fs::current_path();
    std::vector<BatchFlight> flights;
    try {
        flights = ReadList(fs::absolute(options.list), start);
    } catch (const HostError& e) {
        std::cerr << "kestrel-host: " << e.what() << "\n";
        return 2;
    }

    std::size_t played = 0;
    std::size_t clean = 0;
    for (const BatchFlight& entry : flights) {
        ++played;
        int code = 0;
        ResetHost();
        try {
            std::error_code ec;
            fs::create_directories(entry.root.parent_path(), ec);
            OutputCapture capture(entry.out, entry.err);
            RunOptions run;
            run.flight = entry.flight;
            run.root = entry.root;
            run.module = options.module;
            run.trace = entry.trace;
            run.programFolder = options.programFolder;
            try {
                code = RunFlight(run);
            } catch (const std::exception& e) {
                // A separate process would have ended here; this one goes
                // on with the next flight and keeps the exit code of a
                // program stopped by an error nobody caught.
                std::cerr << "kestrel-host: the flight stopped on an unexpected error: " << e.what() << "\n";
                code = 3;
            }
        } catch (const HostError& e) {
            std::cerr << "kestrel-host: " << e.what() << "\n";
            code = 2;
        }
        ResetHost();
        std::error_code ec;
        fs::current_path(start, ec);
        std::ofstream codeFile(entry.code, std::ios::binary);
        codeFile << code << "\n";
        if (!codeFile.flush()) {
            std::cerr << "kestrel-host: " << entry.code.string() << ": cannot write the exit code\n";
        }
        clean += code == 0 ? 1 : 0;
        std::cout << "kestrel-host batch: [" << played << "/" << flights.size() << "] " << entry.flight.string()
                  << ": exit " << code << std::endl;
    }
    std::cout << "kestrel-host batch: " << played << " flight(s) played, " << clean << " with exit 0, "
              << played - clean << " with another exit code" << std::endl;
    return 0;
}
