// Runs a program of the build (kestrel-records, kestrel-host) as a
// subprocess, with a time limit, keeping what it printed.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

struct ToolRun {
    int exitCode = -1; // 124: killed at the time limit
    std::string out;
    std::string err;
};

// PROGRAM ARGS... in `folder` (made if missing), killed after `seconds`.
ToolRun RunTool(const std::string& program, const std::vector<std::string>& args, const std::filesystem::path& folder,
                int seconds = 60);
// kestrel-records ARGS...
ToolRun RunRecords(const std::vector<std::string>& args, const std::filesystem::path& folder);

// A fresh, empty folder for `name` under the build tree.
std::filesystem::path FreshFolder(const std::string& name);
std::string ReadFile(const std::filesystem::path& file);
void WriteFile(const std::filesystem::path& file, const std::string& bytes);
// How often `needle` occurs in `text`.
std::size_t Occurrences(const std::string& text, const std::string& needle);
