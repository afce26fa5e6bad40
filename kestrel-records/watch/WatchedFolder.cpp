#include "kestrel-records/watch/WatchedFolder.h"

#include <algorithm>
#include <filesystem>
#include <set>

namespace fs = std::filesystem;

WatchedFolder::WatchedFolder(std::string folder) : folder_(std::move(folder)) {}

bool WatchedFolder::Pass(bool& more)
{
    more = false;
    std::set<std::string> names;
    std::size_t leftOut = 0;
    std::error_code error;
    const bool exists = fs::is_directory(fs::path(folder_), error);
    if (exists) {
        fs::directory_iterator entries(fs::path(folder_), error);
        for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
            std::error_code kindError;
            // The entry itself, not where a link leads.
            const fs::file_status status = entries->symlink_status(kindError);
            const std::string name = entries->path().filename().string();
            if (kindError || !fs::is_regular_file(status) || name.size() < 5 ||
                name.compare(name.size() - 4, 4, ".txt") != 0) {
                continue;
            }
            names.insert(name);
        }
        while (names.size() > kMostWatchedFiles) {
            names.erase(std::prev(names.end()));
            ++leftOut;
        }
    }
    bool changed = false;
    std::vector<std::shared_ptr<RecordIndex>> indexes;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        changed = exists != exists_ || leftOut != leftOut_;
        exists_ = exists;
        leftOut_ = leftOut;
        for (auto it = files_.begin(); it != files_.end();) {
            if (names.count(it->first) == 0) {
                it = files_.erase(it);
                changed = true;
            } else {
                ++it;
            }
        }
        for (const std::string& name : names) {
            auto [it, added] = files_.try_emplace(name);
            if (added) {
                it->second.id = nextId_++;
                it->second.name = name;
                it->second.index = std::make_shared<RecordIndex>((fs::path(folder_) / name).string());
                changed = true;
            }
            indexes.push_back(it->second.index);
        }
    }
    for (const auto& index : indexes) {
        changed = index->ReadOn(kLinesPerPass) || changed;
        more = more || index->Summary().reading;
    }
    if (changed) {
        std::lock_guard<std::mutex> lock(mutex_);
        ++version_;
        changed_.notify_all();
    }
    return changed;
}

bool WatchedFolder::Exists() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return exists_;
}

std::uint64_t WatchedFolder::Version() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return version_;
}

std::vector<WatchedFile> WatchedFolder::Files() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<WatchedFile> files;
    for (const auto& [name, file] : files_) {
        files.push_back(file);
    }
    return files;
}

std::shared_ptr<RecordIndex> WatchedFolder::Find(int id) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [name, file] : files_) {
        if (file.id == id) {
            return file.index;
        }
    }
    return nullptr;
}

std::size_t WatchedFolder::LeftOut() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return leftOut_;
}

std::uint64_t WatchedFolder::WaitForChange(std::uint64_t seen, std::chrono::milliseconds most) const
{
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, most, [&] { return version_ != seen || stopped_; });
    return version_;
}

void WatchedFolder::Stop()
{
    std::lock_guard<std::mutex> lock(mutex_);
    stopped_ = true;
    changed_.notify_all();
}

bool WatchedFolder::Stopped() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return stopped_;
}
