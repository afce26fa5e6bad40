// The rules every path a run is given goes through before its first step,
// whoever names it: the command line (the flight, --root, --trace), a batch
// list (FLIGHT, ROOT, TRACE and the ROOT.out, ROOT.err and ROOT.code beside
// each root) and the flight itself (its scenario and loads, its saves and
// snapshots, whose own rules are in OutputPaths.h).
//
// Names are compared as Windows finds them, on every build, so that a
// flight is refused or played alike on each: a name's trailing dots and
// blanks dropped, its letters folded to one case.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The module's data folder, directly in the root, where only the module
// writes.
inline constexpr char kDataFolder[] = "KestrelScribeData";

// What is wrong with the text of a path, as a message that quotes it: a NUL
// (the system call would stop there and name another file) or another
// control character. Nothing for a path that may be used.
std::optional<std::string> PathTextProblem(const std::string& text);

// One name (a file's or a folder's) as Windows finds it: without its
// trailing dots and blanks, its letters in lower case; the non-ASCII letters
// whose capital is an ASCII letter (dotless i, long s, the Kelvin sign)
// folded to that letter too.
std::string FoldedName(std::string_view name);

// What is wrong with one name of an output's path on Windows, as the end of
// a message: a device name (CON, PRN, AUX, NUL, COM0-9, LPT0-9, CONIN$,
// CONOUT$, in any case, with or without an extension), a character no
// Windows name holds, or a trailing dot or blank, which Windows drops.
std::optional<std::string> OutputNameProblem(std::string_view name);

// An absolute path as it is compared: '..' resolved, each name folded, '/'
// between them.
std::string PathKey(const std::filesystem::path& absolute);

// What is wrong with a path named on the command line or in a batch list for
// an output of the host's own (--trace, TRACE): its text, or an existing
// folder there.
std::optional<std::string> CommandOutputProblem(const std::filesystem::path& path);

// The paths of a run (or of a whole batch) so far: what it reads, what it
// writes and the data folders it leaves to the module. Each path added is
// checked against all of them; a problem is a message that quotes the path.
class RunPaths {
public:
    RunPaths() = default;
    // A run of a batch: the batch's paths count as its own.
    explicit RunPaths(const RunPaths* batch) : batch_(batch) {}

    // A file the run reads. Refused when the run writes it, but for a
    // scenario the run saves before, which a load reads back.
    std::optional<std::string> Input(const std::filesystem::path& absolute, const std::string& shown,
                                     const std::string& what);
    // A file the run writes. Refused when the run reads it (also where
    // links on the way lead), when it lies in a data folder (any root's), when another output is written there or when one of
    // the two would be the folder of the other. An output of the same
    // `kind` of this run (a scenario saved again, a newer picture) may be
    // written there again: `kind` empty, never.
    std::optional<std::string> Output(const std::filesystem::path& absolute, const std::string& shown,
                                      const std::string& what, const std::string& kind = "");
    // The data folder of a root the run writes to.
    void DataFolderOf(const std::filesystem::path& root);
    // What is wrong with a root folder: one that lies in a data folder (any
    // root's: a folder of the data folder's name, also where links on the
    // way lead), or whose names as `written` Windows would take for others
    // (a trailing dot or blank, a device).
    std::optional<std::string> Root(const std::filesystem::path& absolute, const std::string& shown,
                                    const std::string& written);
    // Every file the run reads; for a run of a batch, not the batch's own
    // (its list, its module, its other flights), which the batch keeps.
    std::vector<std::filesystem::path> Inputs() const;

private:
    struct Entry {
        std::filesystem::path path;
        std::string what;
        std::string kind;
    };
    const Entry* Find(const std::map<std::string, Entry> RunPaths::*paths, const std::string& key) const;
    std::optional<std::string> Nesting(const std::string& key, const std::string& shown) const;
    // `real`: where `absolute` leads (Resolved), worked out once by the caller.
    std::optional<std::string> InDataFolder(const std::filesystem::path& absolute, const std::filesystem::path& real,
                                            const std::string& shown) const;
    std::filesystem::path Resolved(const std::filesystem::path& path) const;

    const RunPaths* batch_ = nullptr;
    std::map<std::string, Entry> inputs_;
    std::map<std::string, Entry> outputs_;
    std::map<std::string, std::filesystem::path> dataFolders_; // by key
    mutable std::map<std::string, std::filesystem::path> resolvedFolders_; // where each folder leads
};
