#include "kestrel-host/simulator/HostFiles.h"

#include <algorithm>
#include <fstream>

namespace fs = std::filesystem;

namespace {

// The module's path as a '/'-separated path below the root: "." parts and
// doubled separators dropped. False when it is absolute or has a ".." part.
bool BelowRoot(const std::string& path, std::string& relative)
{
    relative.clear();
    if (path.empty() || path[0] == '\\' || path[0] == '/') {
        return false;
    }
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = start;
        while (end < path.size() && path[end] != '\\' && path[end] != '/') {
            ++end;
        }
        const std::size_t length = end - start;
        if (length == 2 && path[start] == '.' && path[start + 1] == '.') {
            return false;
        }
        if (length > 0 && !(length == 1 && path[start] == '.')) {
            if (!relative.empty()) {
                relative += '/';
            }
            relative.append(path, start, length);
        }
        start = end + 1;
    }
    // A path ending in a separator names a folder.
    const char last = path.back();
    return !relative.empty() && last != '\\' && last != '/';
}

// The lines of a file: its newlines, and one more when it ends without one.
std::size_t CountLines(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::vector<char> buffer(1 << 16);
    std::size_t lines = 0;
    char last = '\n';
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        if (got == 0) {
            break;
        }
        lines += static_cast<std::size_t>(std::count(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(got), '\n'));
        last = buffer[got - 1];
    }
    return lines + (last != '\n' ? 1 : 0);
}

} // namespace

void HostFiles::SetRoot(const fs::path& root)
{
    native_.Set(root);
    root_ = root;
}

void* HostFiles::Open(const std::string& path, int mode)
{
    if (failing_ || (mode != 1 && mode != 2) || !BelowRoot(path, relative_)) {
        return nullptr;
    }
    const NativeFile native = native_.Open(relative_, mode);
    if (native == kNoFile) {
        return nullptr;
    }
    if (spare_.empty()) {
        spare_.push_back(std::make_unique<OpenFile>());
    }
    open_.push_back(std::move(spare_.back()));
    spare_.pop_back();
    open_.back()->native = native;
    moduleFiles_.insert(relative_);
    return open_.back().get();
}

bool HostFiles::WriteLine(void* file, const char* text)
{
    const auto it = std::find_if(open_.begin(), open_.end(), [&](const auto& open) { return open.get() == file; });
    if (it == open_.end() || text == nullptr) {
        return false;
    }
    line_.assign(text);
    line_ += '\n';
    if (!::WriteLine((*it)->native, line_.data(), line_.size())) {
        return false;
    }
    ++linesWritten_;
    return true;
}

bool HostFiles::Close(void* file)
{
    const auto it = std::find_if(open_.begin(), open_.end(), [&](const auto& open) { return open.get() == file; });
    if (it == open_.end()) {
        return false;
    }
    CloseFile((*it)->native);
    (*it)->native = kNoFile;
    spare_.push_back(std::move(*it));
    open_.erase(it);
    return true;
}

std::vector<HostFiles::Written> HostFiles::ModuleFiles() const
{
    std::vector<Written> written;
    for (const std::string& relative : moduleFiles_) {
        const fs::path full = root_ / fs::path(relative);
        std::error_code ec;
        if (!fs::is_regular_file(fs::symlink_status(full, ec))) {
            continue; // gone since, or replaced by something that is not the module's file
        }
        written.push_back(Written{relative, CountLines(full)});
    }
    return written;
}
