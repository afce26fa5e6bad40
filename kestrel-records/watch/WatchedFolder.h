// The folder the watch server shows: its data files, each with an id the
// server gave it (a request names a file by its id, never by a path), read
// on as they grow. Only regular files directly in the folder whose names
// end in ".txt" are data files; symbolic links are not followed, so nothing
// outside the folder is read.
#pragma once

#include "kestrel-records/watch/RecordIndex.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// Files beyond these many in the folder are left out (their names in order).
inline constexpr std::size_t kMostWatchedFiles = 1000;
// Lines read of one file in one pass, so that one long file being indexed
// does not hold back the news of the others.
inline constexpr std::size_t kLinesPerPass = 1 << 20;

struct WatchedFile {
    int id = 0;
    std::string name; // the file's name in the folder
    std::shared_ptr<RecordIndex> index;
};

class WatchedFolder {
public:
    explicit WatchedFolder(std::string folder);

    const std::string& Folder() const { return folder_; }

    // Looks at the folder once and reads on in each of its data files: true
    // when anything changed (then the version goes up and those waiting
    // are woken). `more` tells whether a file has more to read right away.
    bool Pass(bool& more);

    bool Exists() const;
    std::uint64_t Version() const;
    // Every file, ordered by name.
    std::vector<WatchedFile> Files() const;
    // The file with that id; nullptr when there is none.
    std::shared_ptr<RecordIndex> Find(int id) const;
    std::size_t LeftOut() const; // files beyond kMostWatchedFiles

    // Waits until the version differs from `seen`, or until `most` went by
    // or Stop was called: the version then.
    std::uint64_t WaitForChange(std::uint64_t seen, std::chrono::milliseconds most) const;
    void Stop();
    bool Stopped() const;

private:
    std::string folder_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::map<std::string, WatchedFile> files_; // by name
    int nextId_ = 1;
    bool exists_ = false;
    std::size_t leftOut_ = 0;
    std::uint64_t version_ = 1;
    bool stopped_ = false;
};
