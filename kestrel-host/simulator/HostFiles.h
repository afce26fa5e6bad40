// The module's files under the host's root folder, written through: each
// open, line and close reaches the disk as the module makes it, so every line
// is in its file once the module's close returns, and a run that stops, or
// is killed, keeps every whole line written before.
#pragma once

#include "kestrel-host/simulator/NativeFiles.h"

#include <cstddef>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

class HostFiles {
public:
    // The root must exist; throws HostError when it cannot be opened.
    void SetRoot(const std::filesystem::path& root);
    const std::filesystem::path& Root() const { return root_; }

    // The module's file operations. `path` is relative to the root; '\'
    // separates folders. mode 2 appends, 1 writes a new file (emptying one
    // that is there); each creates a missing file. Null when the path leaves
    // the root, its folder does not exist, it names something other than a
    // plain file or passes a symbolic link, or while opens are made to fail.
    void* Open(const std::string& path, int mode);
    bool WriteLine(void* file, const char* text); // the text and "\n", in one write
    bool Close(void* file);

    // While set, every Open fails as on a full or read-only disk (a flight's
    // `"files": "fail"`); the host's own outputs are not affected.
    void SetFailing(bool failing) { failing_ = failing; }
    bool Failing() const { return failing_; }

    // Lines the module has written in this run, all files together.
    long long LinesWritten() const { return linesWritten_; }

    struct Written {
        std::string path; // relative to the root, '/' separated
        std::size_t lines; // the lines the file holds now
    };
    // Every file the module opened in this run, as it stands on the disk.
    std::vector<Written> ModuleFiles() const;

private:
    struct OpenFile {
        NativeFile native = kNoFile;
    };

    std::filesystem::path root_;
    NativeRoot native_;
    std::vector<std::unique_ptr<OpenFile>> open_;
    std::vector<std::unique_ptr<OpenFile>> spare_; // kept for the next open
    std::set<std::string> moduleFiles_;
    std::string relative_; // the path being opened, reused from open to open
    std::string line_;     // the line being written, likewise
    long long linesWritten_ = 0;
    bool failing_ = false;
};
