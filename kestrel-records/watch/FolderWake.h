// Waits for something to change in a folder: on Linux the kernel says so
// (inotify), elsewhere, or when it cannot, the wait simply runs out, and
// whoever waits looks again (polling). Either way a wait ends within
// `most` milliseconds.
#pragma once

#include <string>

class FolderWake {
public:
    explicit FolderWake(std::string folder);
    ~FolderWake();
    FolderWake(const FolderWake&) = delete;
    FolderWake& operator=(const FolderWake&) = delete;

    // Returns once the folder changed or `most` milliseconds went by.
    void Wait(int most);

private:
    std::string folder_;
    int handle_ = -1;
    int watch_ = -1;
};
