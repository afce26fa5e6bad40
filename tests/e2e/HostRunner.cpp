#include "tests/e2e/HostRunner.h"

namespace fs = std::filesystem;

fs::path Flight(const std::string& file)
{
    return fs::path(KESTREL_FLIGHTS) / file;
}

HostRun RunHost(const std::vector<std::string>& args, const fs::path& folder)
{
    HostRun run;
    static_cast<ProgramRun&>(run) = RunProgram(KESTREL_HOST, args, folder);
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
    return StartProgram(KESTREL_HOST, args, folder);
}
