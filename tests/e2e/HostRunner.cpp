#include "tests/e2e/HostRunner.h"

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

std::string Quote(const std::string& text)
{
    std::string quoted = "'";
    for (const char c : text) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

} // namespace

fs::path FreshFolder(const std::string& name)
{
    const fs::path folder = fs::path(KESTREL_E2E_WORK) / name;
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

fs::path Flight(const std::string& file)
{
    return fs::path(KESTREL_FLIGHTS) / file;
}

HostRun RunHost(const std::vector<std::string>& args, const fs::path& folder)
{
    HostRun run;
    fs::create_directories(folder);
    std::string command = Quote(KESTREL_HOST);
    for (const std::string& arg : args) {
        command += " " + Quote(arg);
    }
    const fs::path out = folder / "stdout.txt";
    const fs::path err = folder / "stderr.txt";
    command += " >" + Quote(out.string()) + " 2>" + Quote(err.string()) + " </dev/null";
    const int status = std::system(command.c_str());
    run.exitCode = (status != -1 && WIFEXITED(status)) ? WEXITSTATUS(status) : -1;
    run.out = ReadFile(out);
    run.err = ReadFile(err);
    return run;
}

HostRun RunFlight(const fs::path& flight, const fs::path& folder, const std::string& module)
{
    const fs::path root = folder / "root";
    const fs::path trace = folder / "trace.txt";
    HostRun run = RunHost({"run", flight.string(), "--root", root.string(), "--module", module, "--trace", trace.string()}, folder);
    run.root = root;
    run.trace = trace;
    return run;
}

std::string ReadFile(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> FilesUnder(const fs::path& folder)
{
    std::vector<std::string> files;
    std::error_code ec;
    if (!fs::exists(folder, ec)) {
        return files;
    }
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            files.push_back(entry.path().lexically_relative(folder).generic_string());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<std::string> StartingWith(const std::vector<std::string>& lines, const std::string& prefix)
{
    std::vector<std::string> found;
    for (const std::string& line : lines) {
        if (line.compare(0, prefix.size(), prefix) == 0) {
            found.push_back(line);
        }
    }
    return found;
}
