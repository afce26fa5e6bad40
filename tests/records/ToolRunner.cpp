#include "tests/records/ToolRunner.h"

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

std::string Quote(const std::string& text)
{
    std::string quoted = "'";
    for (const char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

} // namespace

ToolRun RunTool(const std::string& program, const std::vector<std::string>& args, const fs::path& folder, int seconds)
{
    fs::create_directories(folder);
    std::string command = "cd " + Quote(folder.string()) + " && timeout " + std::to_string(seconds) + " " + Quote(program);
    for (const std::string& arg : args) {
        command += " " + Quote(arg);
    }
    const fs::path out = folder / "stdout.txt";
    const fs::path err = folder / "stderr.txt";
    command += " >" + Quote(out.string()) + " 2>" + Quote(err.string()) + " </dev/null";
    const int status = std::system(command.c_str());
    ToolRun run;
    run.exitCode = (status != -1 && WIFEXITED(status)) ? WEXITSTATUS(status) : -1;
    run.out = ReadFile(out);
    run.err = ReadFile(err);
    fs::remove(out);
    fs::remove(err);
    return run;
}

ToolRun RunRecords(const std::vector<std::string>& args, const fs::path& folder)
{
    return RunTool(KESTREL_RECORDS, args, folder);
}

fs::path FreshFolder(const std::string& name)
{
    const fs::path folder = fs::path(KESTREL_RECORDS_WORK) / name;
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

std::string ReadFile(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const fs::path& file, const std::string& bytes)
{
    std::ofstream(file, std::ios::binary) << bytes;
}

std::size_t Occurrences(const std::string& text, const std::string& needle)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) {
        ++count;
    }
    return count;
}
