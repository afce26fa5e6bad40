#include "kestrel-host/flight/OutputPaths.h"

#include "kestrel-host/common/HostText.h"
#include "kestrel-host/common/Platform.h"

#include <vector>

namespace fs = std::filesystem;

namespace {

// Whether a root-relative path, '..' already resolved, starts in the data folder.
bool InDataFolder(const fs::path& relative)
{
    return !relative.empty() && FoldedName(relative.begin()->string()) == FoldedName(kDataFolder);
}

} // namespace

std::optional<std::string> OutputPathProblem(const fs::path& path, const fs::path& root)
{
    if (path.empty()) {
        return "an empty path";
    }
    if (auto problem = PathTextProblem(path.string())) {
        return problem;
    }
    const auto problem = [&](const std::string& what) { return QuotedPath(path.generic_string()) + " " + what; };
    if (path.has_root_name() || path.has_root_directory()) {
        return problem("is an absolute path; outputs are relative to the root folder");
    }
    const fs::path normal = path.lexically_normal();
    if (normal.begin() != normal.end() && *normal.begin() == "..") {
        return problem("leads out of the root folder");
    }
    if (!normal.has_filename() || normal.filename() == "." || normal.filename() == "..") {
        return problem("names a folder, not a file");
    }
    if (InDataFolder(normal)) {
        return problem(std::string("lies in the data folder ") + kDataFolder + ", where only the module writes");
    }
    for (const fs::path& part : normal) {
        if (auto wrong = OutputNameProblem(part.string())) {
            return problem(*wrong);
        }
        if (part.native().size() > kLongestFileName) {
            return problem("has a name of " + std::to_string(part.native().size()) + " characters; a name holds at most " +
                           std::to_string(kLongestFileName));
        }
    }
    const std::size_t name = normal.filename().native().size();
    if (name + kTemporaryNameExtra > kLongestFileName) {
        return problem("has a file name of " + std::to_string(name) + " characters; an output's holds at most " +
                       std::to_string(kLongestFileName - kTemporaryNameExtra) + " (" + std::to_string(kLongestFileName) +
                       ", less " + std::to_string(kTemporaryNameExtra) + " for the temporary file it is written to first)");
    }
    const std::size_t whole = (root / normal).native().size();
    if (whole + kTemporaryNameExtra > kLongestPath) {
        return problem("makes a path of " + std::to_string(whole) + " characters under the root; a path holds at most " +
                       std::to_string(kLongestPath - kTemporaryNameExtra) + " (" + std::to_string(kLongestPath) +
                       ", less " + std::to_string(kTemporaryNameExtra) + " for the temporary file it is written to first)");
    }

    // What exists of it on the disk, one part at a time: a link is followed
    // to where it leads, which must be inside the root and outside the data
    // folder; every part but the last must be a folder, the last must not;
    // no part may be the data folder by another name (a name the file
    // system folds to it).
    const std::vector<fs::path> parts(normal.begin(), normal.end());
    const fs::path data = root / kDataFolder;
    std::error_code ec;
    const bool haveData = fs::exists(data, ec);
    fs::path here = root;
    fs::path shown;
    std::optional<fs::path> realRoot;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const bool last = i + 1 == parts.size();
        here /= parts[i];
        shown /= parts[i];
        const fs::file_status link = fs::symlink_status(here, ec);
        if (ec || !fs::exists(link)) {
            return std::nullopt; // the rest is new
        }
        fs::file_status status = link;
        if (fs::is_symlink(link)) {
            const std::string through = " through the symbolic link " + QuotedPath(shown.generic_string());
            const fs::path target = fs::canonical(here, ec);
            if (ec) {
                return problem("goes" + through + ", which leads nowhere");
            }
            if (!realRoot) {
                realRoot = fs::weakly_canonical(root, ec);
            }
            const fs::path inside = target.lexically_relative(*realRoot);
            if (inside.empty() || *inside.begin() == "..") {
                return problem("leads out of the root folder" + through);
            }
            if (InDataFolder(inside)) {
                return problem(std::string("leads into the data folder ") + kDataFolder + through);
            }
            status = fs::status(target, ec);
        } else if (haveData && fs::equivalent(here, data, ec)) {
            return problem(std::string("lies in the data folder ") + kDataFolder + " (" + QuotedPath(shown.generic_string()) +
                           " is its other name), where only the module writes");
        }
        if (!last && !fs::is_directory(status)) {
            return problem("needs " + QuotedPath(shown.generic_string()) + " as a folder, but it is a file");
        }
        if (last && fs::is_directory(status)) {
            return problem("names a folder, not a file");
        }
    }
    return std::nullopt;
}
