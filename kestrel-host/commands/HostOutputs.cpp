#include "kestrel-host/commands/HostOutputs.h"

#include "kestrel-host/common/HostError.h"
#include "kestrel-host/flight/OutputPaths.h"
#include "kestrel-host/simulator/NativeFiles.h"

namespace fs = std::filesystem;

void WriteOutput(const fs::path& root, const fs::path& path, const std::string& content)
{
    if (const auto problem = OutputPathProblem(path, root)) {
        throw HostError(*problem);
    }
    const fs::path full = (root / path).lexically_normal();
    std::error_code ec;
    fs::create_directories(full.parent_path(), ec);
    if (ec) {
        throw HostError(full.parent_path().string() + ": cannot make the folder: " + ec.message());
    }
    WriteWholeFile(full, content);
}
