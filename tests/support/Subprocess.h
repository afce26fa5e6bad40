// Runs a program of the build (kestrel-host, kestrel-records) as a
// subprocess, as a user would from a shell, and keeps what it printed.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

struct ProgramRun {
    int exitCode = -1; // 124: killed at its time limit
    std::string out;   // stdout
    std::string err;   // stderr
};

struct ProgramOptions {
    bool inFolder = false; // start it in `folder` (otherwise in the test's own)
    int seconds = 0;       // killed after this long; 0: no limit
};

// PROGRAM ARGS... with stdin from /dev/null; stdout and stderr go through
// stdout.txt and stderr.txt in `folder` (made if missing).
ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::filesystem::path& folder, ProgramOptions options = {});

// PROGRAM ARGS... started in the background, with stdout and stderr going to
// files in `folder`; its process id.
pid_t StartProgram(const std::string& program, const std::vector<std::string>& args,
                   const std::filesystem::path& folder);
// How a started program ended: exit code, or the signal that ended it.
struct ProgramEnd {
    bool exited = false;
    int exitCode = -1;
    int signal = 0;
    bool timedOut = false; // still running after the time allowed, and killed
};
// Waits for a started program, for at most `allowed`; then kills it.
ProgramEnd WaitProgram(pid_t pid, std::chrono::milliseconds allowed);
