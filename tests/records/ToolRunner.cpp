#include "tests/records/ToolRunner.h"

namespace fs = std::filesystem;

ToolRun RunTool(const std::string& program, const std::vector<std::string>& args, const fs::path& folder, int seconds)
{
    ToolRun run = RunProgram(program, args, folder, ProgramOptions{true, seconds});
    // The tools' own outputs are what the tests list in the folder.
    fs::remove(folder / "stdout.txt");
    fs::remove(folder / "stderr.txt");
    return run;
}

ToolRun RunRecords(const std::vector<std::string>& args, const fs::path& folder)
{
    return RunTool(KESTREL_RECORDS, args, folder);
}
