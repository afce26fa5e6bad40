// Files under the host's root folder. Everything a run writes (the module's
// data files, scenarios, snapshots) is staged in memory and only reaches the
// disk when the run succeeds, so a run that stops on bad input writes no data.
#pragma once

#include <cstddef>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class HostFiles {
public:
    void SetRoot(const std::filesystem::path& root) { root_ = root; }
    const std::filesystem::path& Root() const { return root_; }

    // A module path: relative to the root; '\' separates folders.
    std::filesystem::path Resolve(const std::string& path) const;

    // The module's file operations. mode 2 appends (to the file as it stands,
    // on disk or staged), 1 writes a new file. Null when the path names a
    // folder, or its folder does not exist, or while opens are made to fail.
    void* Open(const std::string& path, int mode);
    bool WriteLine(void* file, const char* text); // the text and "\n"
    bool Close(void* file);

    // While set, every Open fails as on a full or read-only disk (a flight's
    // `"files": "fail"`); the host's own outputs are not affected.
    void SetFailing(bool failing) { failing_ = failing; }
    bool Failing() const { return failing_; }

    // The host's own outputs (relative to the root).
    void Put(const std::filesystem::path& path, std::string content);
    // The staged content of a file this run wrote, if any.
    std::optional<std::string> Staged(const std::filesystem::path& absolute) const;

    // Writes every staged file to the disk; throws HostError when one fails.
    void Commit() const;

    struct Written {
        std::string path; // relative to the root, '/' separated
        std::size_t lines;
    };
    std::vector<Written> ModuleFiles() const;

private:
    struct File {
        std::string content;
        bool byModule = false;
    };
    struct OpenFile {
        std::filesystem::path path;
        int mode;
    };
    std::filesystem::path root_;
    std::map<std::filesystem::path, File> staged_;
    std::map<void*, std::unique_ptr<OpenFile>> open_;
    bool failing_ = false;
};
