#include "tests/e2e/HostRunner.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

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

pid_t StartHost(const std::vector<std::string>& args, const fs::path& folder)
{
    fs::create_directories(folder);
    const std::string out = (folder / "stdout.txt").string();
    const std::string err = (folder / "stderr.txt").string();
    std::vector<std::string> words = {KESTREL_HOST};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    const int failed = posix_spawn(&pid, KESTREL_HOST, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) {
        throw std::runtime_error("cannot start " + std::string(KESTREL_HOST));
    }
    return pid;
}

HostEnd WaitHost(pid_t pid, std::chrono::milliseconds allowed)
{
    HostEnd end;
    const auto deadline = std::chrono::steady_clock::now() + allowed;
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            end.timedOut = true;
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    end.exited = WIFEXITED(status);
    end.exitCode = end.exited ? WEXITSTATUS(status) : -1;
    end.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return end;
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
