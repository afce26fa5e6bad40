#include "kestrel-host/flight/OutputPaths.h"

#include <vector>

namespace fs = std::filesystem;

namespace {

bool SameLetters(const std::string& a, const std::string& b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (fold(a[i]) != fold(b[i])) {
            return false;
        }
    }
    return true;
}

// Whether a root-relative path, '..' already resolved, starts in the data folder.
bool InDataFolder(const fs::path& relative)
{
    return !relative.empty() && SameLetters(relative.begin()->string(), kDataFolder);
}

} // namespace

std::optional<std::string> OutputPathProblem(const fs::path& path, const fs::path& root)
{
    if (path.empty()) {
        return "an empty path";
    }
    const auto problem = [&](const std::string& what) { return "'" + path.generic_string() + "' " + what; };
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

    // What exists of it on the disk, one part at a time: a link is followed
    // to where it leads, which must be inside the root and outside the data
    // folder; every part but the last must be a folder, the last must not.
    const std::vector<fs::path> parts(normal.begin(), normal.end());
    fs::path here = root;
    fs::path shown;
    std::optional<fs::path> realRoot;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const bool last = i + 1 == parts.size();
        here /= parts[i];
        shown /= parts[i];
        std::error_code ec;
        const fs::file_status link = fs::symlink_status(here, ec);
        if (ec || !fs::exists(link)) {
            return std::nullopt; // the rest is new
        }
        fs::file_status status = link;
        if (fs::is_symlink(link)) {
            const std::string through = " through the symbolic link '" + shown.generic_string() + "'";
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
        }
        if (!last && !fs::is_directory(status)) {
            return problem("needs '" + shown.generic_string() + "' as a folder, but it is a file");
        }
        if (last && fs::is_directory(status)) {
            return problem("names a folder, not a file");
        }
    }
    return std::nullopt;
}
