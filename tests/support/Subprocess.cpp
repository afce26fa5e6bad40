#include "tests/support/Subprocess.h"

#include "tests/support/TestFiles.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <thread>

extern char** environ;

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

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args, const fs::path& folder,
                      ProgramOptions options)
{
    fs::create_directories(folder);
    std::string command;
    if (options.inFolder) {
        command += "cd " + Quote(folder.string()) + " && ";
    }
    if (options.seconds > 0) {
        command += "timeout " + std::to_string(options.seconds) + " ";
    }
    command += Quote(program);
    for (const std::string& arg : args) {
        command += " " + Quote(arg);
    }
    const fs::path out = folder / "stdout.txt";
    const fs::path err = folder / "stderr.txt";
    command += " >" + Quote(out.string()) + " 2>" + Quote(err.string()) + " </dev/null";
    const int status = std::system(command.c_str());
    ProgramRun run;
    run.exitCode = (status != -1 && WIFEXITED(status)) ? WEXITSTATUS(status) : -1;
    run.out = ReadFile(out);
    run.err = ReadFile(err);
    return run;
}

pid_t StartProgram(const std::string& program, const std::vector<std::string>& args, const fs::path& folder)
{
    fs::create_directories(folder);
    const std::string out = (folder / "stdout.txt").string();
    const std::string err = (folder / "stderr.txt").string();
    std::vector<std::string> words = {program};
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
    const int failed = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) {
        throw std::runtime_error("cannot start " + program);
    }
    return pid;
}

ProgramEnd WaitProgram(pid_t pid, std::chrono::milliseconds allowed)
{
    ProgramEnd end;
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
