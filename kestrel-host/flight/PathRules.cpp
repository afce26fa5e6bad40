#include "kestrel-host/flight/PathRules.h"

#include "kestrel-host/common/HostText.h"
#include "kestrel-host/common/Platform.h"

#include <array>

namespace fs = std::filesystem;

namespace {

bool Blank(char c)
{
    return c == '.' || c == ' ';
}

// The device names Windows opens in any folder, whatever follows them after
// a dot: folded, as FoldedName gives them ("\xC2\xB9" is a superscript 1).
constexpr std::array<std::string_view, 32> kDeviceNames = {
    "con",  "prn",  "aux",  "nul",  "com0", "com1", "com2", "com3", "com4", "com5", "com6",
    "com7", "com8", "com9", "lpt0", "lpt1", "lpt2", "lpt3", "lpt4", "lpt5", "lpt6", "lpt7",
    "lpt8", "lpt9", "com\xC2\xB9", "com\xC2\xB2", "com\xC2\xB3", "lpt\xC2\xB9", "lpt\xC2\xB2", "lpt\xC2\xB3",
    "conin$", "conout$"};

// The characters no Windows file or folder name may hold (the control
// characters are refused with every path, PathTextProblem); '\' separates
// folders on Windows, so in a name elsewhere it would name another file.
constexpr std::string_view kNotInWindowsNames = "<>:\"|?*\\";

// The data folder's name as FoldedName gives it.
const std::string kDataFolderKey = FoldedName(kDataFolder);

bool Below(const std::string& folder, const std::string& key)
{
    return key.size() > folder.size() && key.compare(0, folder.size(), folder) == 0 && key[folder.size()] == '/';
}

} // namespace

std::optional<std::string> PathTextProblem(const std::string& text)
{
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == 0) {
            return QuotedPath(text) + " holds a NUL character (\\x00), which would end the name there";
        }
        if (byte < 0x20 || byte == 0x7F) {
            return QuotedPath(text) + " holds a control character (" + Printable(std::string(1, c), 1) + ")";
        }
    }
    return std::nullopt;
}

std::string FoldedName(std::string_view name)
{
    if (name != "." && name != "..") {
        while (!name.empty() && Blank(name.back())) {
            name.remove_suffix(1);
        }
    }
    std::string folded;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        const std::string_view rest = name.substr(i);
        if (c >= 'A' && c <= 'Z') {
            folded += static_cast<char>(c - 'A' + 'a');
        } else if (rest.starts_with("\xC4\xB1")) { // U+0131, dotless i
            folded += 'i';
            i += 1;
        } else if (rest.starts_with("\xC5\xBF")) { // U+017F, long s
            folded += 's';
            i += 1;
        } else if (rest.starts_with("\xE2\x84\xAA")) { // U+212A, the Kelvin sign
            folded += 'k';
            i += 2;
        } else {
            folded += c;
        }
    }
    return folded;
}

std::optional<std::string> OutputNameProblem(std::string_view name)
{
    for (const char c : name) {
        if (kNotInWindowsNames.find(c) != std::string_view::npos) {
            return "holds the character '" + std::string(1, c) + "', which no Windows file name holds";
        }
    }
    if (!name.empty() && Blank(name.back()) && name != "." && name != "..") {
        return "has a name ending in a dot or a blank, which Windows drops (it would write another file)";
    }
    // The part before the first dot, without the blanks Windows drops there too.
    std::string_view base = name.substr(0, name.find('.'));
    while (!base.empty() && base.back() == ' ') {
        base.remove_suffix(1);
    }
    const std::string folded = FoldedName(base);
    for (const std::string_view device : kDeviceNames) {
        if (folded == device) {
            return "names the device " + Printable(base, base.size()) + ", which Windows opens in place of a file of that name";
        }
    }
    return std::nullopt;
}

std::string PathKey(const fs::path& absolute)
{
    const fs::path normal = absolute.lexically_normal();
    std::string key = FoldedName(normal.root_name().string());
    if (normal.has_root_directory()) {
        key += '/';
    }
    bool first = true;
    for (const fs::path& part : normal.relative_path()) {
        const std::string name = part.string();
        if (name.empty()) {
            continue;
        }
        if (!first) {
            key += '/';
        }
        key += FoldedName(name);
        first = false;
    }
    return key;
}

std::optional<std::string> CommandOutputProblem(const fs::path& path)
{
    if (auto problem = PathTextProblem(path.string())) {
        return problem;
    }
    std::error_code ec;
    if (path.empty() || fs::is_directory(path, ec)) {
        return QuotedPath(path.string()) + " names a folder, not a file";
    }
    return std::nullopt;
}

const RunPaths::Entry* RunPaths::Find(const std::map<std::string, Entry> RunPaths::*paths, const std::string& key) const
{
    for (const RunPaths* layer = this; layer != nullptr; layer = layer->batch_) {
        const auto it = (layer->*paths).find(key);
        if (it != (layer->*paths).end()) {
            return &it->second;
        }
    }
    return nullptr;
}

std::optional<std::string> RunPaths::Nesting(const std::string& key, const std::string& shown) const
{
    auto clash = [&](const Entry& other) {
        return QuotedPath(shown) + " and " + QuotedPath(other.path.generic_string()) + " (" + other.what +
               ") cannot both be written: one would be the folder of the other";
    };
    for (std::size_t slash = key.rfind('/'); slash != std::string::npos && slash > 0; slash = key.rfind('/', slash - 1)) {
        if (const Entry* folder = Find(&RunPaths::outputs_, key.substr(0, slash))) {
            return clash(*folder);
        }
    }
    for (const RunPaths* layer = this; layer != nullptr; layer = layer->batch_) {
        const auto below = layer->outputs_.lower_bound(key + "/");
        if (below != layer->outputs_.end() && Below(key, below->first)) {
            return clash(below->second);
        }
    }
    return std::nullopt;
}

std::optional<std::string> RunPaths::Input(const fs::path& absolute, const std::string& shown, const std::string& what)
{
    const std::string key = PathKey(absolute);
    if (const Entry* output = Find(&RunPaths::outputs_, key)) {
        if (output->kind == "scenario") {
            return std::nullopt; // read back as this run saved it
        }
        return QuotedPath(shown) + " is written by this run as " + output->what;
    }
    inputs_.try_emplace(key, Entry{absolute, what, ""});
    return std::nullopt;
}

// Where a path leads once every link on the way is followed, also a link
// at its end that leads to nothing yet. A batch list checks tens of
// thousands of paths, most of them in a few folders: where a folder leads
// is worked out once and kept while the folder is there, and only each
// path's own last name is looked at anew.
fs::path RunPaths::Resolved(const fs::path& path) const
{
    std::error_code ec;
    fs::path at = path;
    int hops = 0;
    bool unreadable = false;
    for (; hops < 40 && fs::is_symlink(fs::symlink_status(at, ec)); ++hops) {
        const fs::path target = fs::read_symlink(at, ec);
        if (ec) {
            unreadable = true;
            break;
        }
        at = target.is_absolute() ? target : at.parent_path() / target;
    }
    ec.clear();
    const fs::path name = at.filename();
    if (unreadable || hops == 40 || name.empty() || name == "." || name == ".." || !at.has_relative_path()) {
        const fs::path real = fs::weakly_canonical(at, ec);
        return ec ? path : real;
    }
    const std::string folder = at.parent_path().string();
    auto known = resolvedFolders_.find(folder);
    if (known == resolvedFolders_.end()) {
        const fs::path real = fs::weakly_canonical(at.parent_path(), ec);
        if (ec) {
            return path;
        }
        if (!fs::is_directory(real, ec)) {
            return real / name; // not there yet: it may still be made, and made a link
        }
        known = resolvedFolders_.emplace(folder, real).first;
    }
    return known->second / name;
}

std::optional<std::string> RunPaths::InDataFolder(const fs::path& absolute, const fs::path& real,
                                                  const std::string& shown) const
{
    const std::string key = PathKey(absolute);
    // The key itself and each folder above it.
    for (std::size_t end = key.size(); end != std::string::npos && end > 0; end = key.rfind('/', end - 1)) {
        for (const RunPaths* layer = this; layer != nullptr; layer = layer->batch_) {
            const auto found = layer->dataFolders_.find(key.substr(0, end));
            if (found != layer->dataFolders_.end()) {
                return QuotedPath(shown) + " lies in the data folder " + Printable(found->second.string(), kLongestPath) +
                       ", where only the module writes";
            }
        }
    }
    // Any root's data folder, also one this run does not know of, and also
    // where links on the way lead.
    for (const fs::path& path : {absolute.lexically_normal(), real}) {
        fs::path folder;
        for (const fs::path& part : path) {
            folder /= part;
            if (FoldedName(part.string()) == kDataFolderKey) {
                return QuotedPath(shown) + " lies in the data folder " + Printable(folder.string(), kLongestPath) +
                       (path == real && real != absolute.lexically_normal() ? " (where links on the way lead)" : "") +
                       ", where only the module writes";
            }
        }
    }
    return std::nullopt;
}

std::optional<std::string> RunPaths::Root(const fs::path& absolute, const std::string& shown, const std::string& written)
{
    if (auto problem = InDataFolder(absolute, Resolved(absolute), shown)) {
        return problem;
    }
    // Its names as written, as Windows would take them.
    for (const fs::path& part : fs::path(written).relative_path()) {
        const std::string name = part.string();
        if (name.empty() || name == "." || name == "..") {
            continue;
        }
        if (auto wrong = OutputNameProblem(name)) {
            return QuotedPath(shown) + " " + *wrong;
        }
    }
    return std::nullopt;
}

std::vector<fs::path> RunPaths::Inputs() const
{
    std::vector<fs::path> inputs;
    for (const auto& [key, input] : inputs_) {
        inputs.push_back(input.path);
    }
    return inputs;
}

std::optional<std::string> RunPaths::Output(const fs::path& absolute, const std::string& shown,
                                            const std::string& what, const std::string& kind)
{
    const std::string key = PathKey(absolute);
    const fs::path real = Resolved(absolute);
    if (auto problem = InDataFolder(absolute, real, shown)) {
        return problem;
    }
    if (const Entry* input = Find(&RunPaths::inputs_, key)) {
        return QuotedPath(shown) + " is read by this run as " + input->what;
    }
    // Where links on the way lead.
    if (real != absolute) {
        if (const Entry* input = Find(&RunPaths::inputs_, PathKey(real))) {
            return QuotedPath(shown) + " is read by this run as " + input->what + " (where links on the way lead)";
        }
    }
    // The same file by another name (a link to it, a name the file system
    // folds to it).
    std::error_code ec;
    if (fs::exists(absolute, ec)) {
        for (const RunPaths* layer = this; layer != nullptr; layer = layer->batch_) {
            for (const auto& [other, input] : layer->inputs_) {
                if (fs::equivalent(absolute, input.path, ec)) {
                    return QuotedPath(shown) + " is read by this run as " + input.what + " (by another name)";
                }
            }
        }
    }
    const auto same = outputs_.find(key);
    if (same != outputs_.end() && !kind.empty() && same->second.kind == kind) {
        return std::nullopt; // written anew
    }
    if (const Entry* output = Find(&RunPaths::outputs_, key)) {
        return QuotedPath(shown) + " is also written as " + output->what;
    }
    if (auto problem = Nesting(key, shown)) {
        return problem;
    }
    outputs_.emplace(key, Entry{absolute, what, kind});
    return std::nullopt;
}

void RunPaths::DataFolderOf(const fs::path& root)
{
    const fs::path folder = (root / kDataFolder).lexically_normal();
    dataFolders_.emplace(PathKey(folder), folder);
}
