// Runs kestrel-host as a subprocess in a fresh folder of its own.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

struct HostRun {
    int exitCode = -1;
    std::string out;   // stdout
    std::string err;   // stderr
    std::filesystem::path root;  // the run's --root
    std::filesystem::path trace; // the run's --trace file
};

// A fresh, empty folder for `name` under the build tree (made anew).
std::filesystem::path FreshFolder(const std::string& name);
// The path of a flight file in tests/e2e/flights.
std::filesystem::path Flight(const std::string& file);

// kestrel-host run FLIGHT --root ROOT --module MODULE --trace ROOT/../trace;
// the root itself is made by the host.
HostRun RunFlight(const std::filesystem::path& flight, const std::filesystem::path& folder,
                  const std::string& module = KESTREL_MODULE);
// kestrel-host ARGS... with stdout and stderr kept in `folder`.
HostRun RunHost(const std::vector<std::string>& args, const std::filesystem::path& folder);

// kestrel-host ARGS... started in the background, with stdout and stderr
// going to files in `folder`; its process id.
pid_t StartHost(const std::vector<std::string>& args, const std::filesystem::path& folder);
// How a started host ended: exit code, or the signal that ended it.
struct HostEnd {
    bool exited = false;
    int exitCode = -1;
    int signal = 0;
    bool timedOut = false; // still running after the time allowed, and killed
};
// Waits for a started host, for at most `allowed`; then kills it.
HostEnd WaitHost(pid_t pid, std::chrono::milliseconds allowed);

std::string ReadFile(const std::filesystem::path& file);
std::vector<std::string> Lines(const std::string& text);
// Every regular file under `folder`, relative to it, '/'-separated, sorted.
std::vector<std::string> FilesUnder(const std::filesystem::path& folder);
// Lines of `lines` that start with `prefix`.
std::vector<std::string> StartingWith(const std::vector<std::string>& lines, const std::string& prefix);
