// Runs kestrel-records (or kestrel-host) as a subprocess in a folder of the
// test's own, with a time limit, keeping what it printed.
#pragma once

#include "tests/support/Subprocess.h"
#include "tests/support/TestFiles.h"
#include "tests/support/WorkFolder.h"

#include <filesystem>
#include <string>
#include <vector>

using ToolRun = ProgramRun;

// PROGRAM ARGS... started in `folder` (made if missing), killed after `seconds`.
ToolRun RunTool(const std::string& program, const std::vector<std::string>& args, const std::filesystem::path& folder,
                int seconds = 60);
// kestrel-records ARGS...
ToolRun RunRecords(const std::vector<std::string>& args, const std::filesystem::path& folder);
