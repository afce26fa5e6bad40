// The module's files under the host's root folder, written through: each
// open, line and close reaches the disk as the module makes it, so every line
// is in its file once the module's close returns, and a run that stops, or
// is killed, keeps every whole line written before.
//
// What the run did to them is kept for its summary: per file (one file
// however many names reach it) the lines this run wrote and the lines it
// held before; and the lines the module could not write, by reason.
#pragma once

#include "kestrel-host/simulator/NativeFiles.h"

#include <cstddef>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

class HostFiles {
public:
    // The root must exist; throws HostError when it cannot be opened.
    void SetRoot(const std::filesystem::path& root);
    const std::filesystem::path& Root() const { return root_; }
    // The files the run reads (the flight, its scenarios, the module): the
    // module's opens never reach them.
    void SetInputs(std::set<FileIdentity> inputs) { native_.SetInputs(std::move(inputs)); }

    // The module's file operations. `path` is relative to the root, the
    // only path root (`root` 0); '\' separates folders. mode 2 appends, 1
    // writes a new file (emptying one that is there); each creates a
    // missing file. Null when the path leaves the root, its folder does not
    // exist, it names something other than a plain file, a file with
    // another name too (a hard link) or one the run reads, it passes a
    // symbolic link, or while opens are made to fail.
    //
    // The first open of a file in the run that finds it holding text reads
    // it once, for the lines it held before; when its last line has no line
    // end, the module's first line begins with one, so no two lines are
    // glued into one.
    void* Open(const char* path, int mode, int root);
    bool WriteLine(void* file, const char* text); // the text and "\n", in one write
    bool Close(void* file);
    // A call into the module has returned: an open that failed in it and
    // was not made good by another open of the same path lost its line.
    void CallEnded();

    // While set, every Open fails as on a full or read-only disk (a flight's
    // `"files": "fail"`); the host's own outputs are not affected.
    void SetFailing(bool failing) { failing_ = failing; }
    bool Failing() const { return failing_; }

    // Lines the module has written in this run, all files together.
    long long LinesWritten() const { return linesWritten_; }

    struct Written {
        std::string path;    // relative to the root, '/' separated, as first opened
        long long lines = 0;  // the lines this run wrote
        long long before = 0; // the lines the file held when the run first opened it
    };
    // Every file the module opened in this run, by path.
    std::vector<Written> ModuleFiles() const;

    struct NotWritten {
        std::string reason; // "disk full", "open refused", ...
        long long lines = 0;
    };
    // The lines the module could not write in this run, by reason; all of
    // them together.
    std::vector<NotWritten> LinesNotWritten() const;
    long long LinesNotWrittenCount() const;

private:
    struct Record {
        std::string path;
        long long lines = 0;
        long long before = 0;
        bool lineEndFirst = false; // its last line had no line end
    };
    struct OpenFile {
        NativeFile native = kNoFile;
        std::size_t record = 0;
    };
    struct Pending {
        std::string path; // as the module gave it
        std::string reason;
    };

    void Failed(const char* path, const std::string& reason);
    void Lost(const std::string& reason);

    std::filesystem::path root_;
    NativeRoot native_;
    std::vector<std::unique_ptr<OpenFile>> open_;
    std::vector<std::unique_ptr<OpenFile>> spare_; // kept for the next open
    std::map<FileIdentity, std::size_t> byIdentity_;
    std::vector<Record> records_;
    std::map<std::string, long long> lost_; // by reason
    std::optional<Pending> pending_;        // the last failed open, in the current call
    std::string relative_; // the path being opened, reused from open to open
    std::string line_;     // the line being written, likewise
    long long linesWritten_ = 0;
    bool failing_ = false;
};
