#include "kestrel-host/HostFiles.h"

#include "kestrel-host/HostError.h"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

std::optional<std::string> ReadDisk(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

fs::path HostFiles::Resolve(const std::string& path) const
{
    std::string local = path;
    std::replace(local.begin(), local.end(), '\\', '/');
    return (root_ / fs::path(local)).lexically_normal();
}

void* HostFiles::Open(const std::string& path, int mode)
{
    if (failing_ || path.empty() || (mode != 1 && mode != 2)) {
        return nullptr;
    }
    const fs::path full = Resolve(path);
    std::error_code ec;
    if (!full.has_filename() || !fs::is_directory(full.parent_path(), ec) || fs::is_directory(full, ec)) {
        return nullptr;
    }
    auto found = staged_.find(full);
    if (found == staged_.end()) {
        File file;
        file.byModule = true;
        if (mode == 2) {
            file.content = ReadDisk(full).value_or(std::string());
        }
        found = staged_.emplace(full, std::move(file)).first;
    } else if (mode == 1) {
        found->second.content.clear();
    }
    found->second.byModule = true;
    auto open = std::make_unique<OpenFile>(OpenFile{full, mode});
    void* handle = open.get();
    open_.emplace(handle, std::move(open));
    return handle;
}

bool HostFiles::WriteLine(void* file, const char* text)
{
    const auto it = open_.find(file);
    if (it == open_.end() || text == nullptr) {
        return false;
    }
    std::string& content = staged_[it->second->path].content;
    content += text;
    content += '\n';
    return true;
}

bool HostFiles::Close(void* file)
{
    return open_.erase(file) == 1;
}

void HostFiles::Put(const fs::path& path, std::string content)
{
    const fs::path full = (root_ / path).lexically_normal();
    File& file = staged_[full];
    file.content = std::move(content);
}

std::optional<std::string> HostFiles::Staged(const fs::path& absolute) const
{
    const auto it = staged_.find(absolute.lexically_normal());
    if (it == staged_.end()) {
        return std::nullopt;
    }
    return it->second.content;
}

void HostFiles::Commit() const
{
    for (const auto& [path, file] : staged_) {
        std::error_code ec;
        fs::create_directories(path.parent_path(), ec);
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << file.content;
        out.close();
        if (!out) {
            throw HostError(path.string() + ": cannot write the file");
        }
    }
}

std::vector<HostFiles::Written> HostFiles::ModuleFiles() const
{
    std::vector<Written> written;
    for (const auto& [path, file] : staged_) {
        if (!file.byModule) {
            continue;
        }
        std::size_t lines = static_cast<std::size_t>(std::count(file.content.begin(), file.content.end(), '\n'));
        if (!file.content.empty() && file.content.back() != '\n') {
            ++lines;
        }
        written.push_back(Written{path.lexically_relative(root_).generic_string(), lines});
    }
    return written;
}
