#include "kestrel-host/simulator/HostFiles.h"

#include <algorithm>

namespace fs = std::filesystem;

namespace {

// The module's path as a '/'-separated path below the root: "." parts and
// doubled separators dropped. False when it is absolute or has a ".." part,
// or a ':' anywhere (on Windows a drive, "C:x" naming a file outside the
// root, or a stream of a file).
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
        if (path.find(':', start) < end) {
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

std::string ProblemText(FileProblem problem, int error, bool writing)
{
    switch (problem) {
    case FileProblem::OutsideRoot:
        return "path outside the root (absolute, a drive, a '..')";
    case FileProblem::NotRoot:
        return "path root other than the root folder";
    case FileProblem::UnknownMode:
        return "file mode other than 1 (write) or 2 (append)";
    case FileProblem::Failing:
        return "files made to fail by the flight";
    case FileProblem::NoFolder:
        return "no such folder";
    case FileProblem::Link:
        return "symbolic link on the way";
    case FileProblem::NotPlainFile:
        return "not a plain file";
    case FileProblem::HardLink:
        return "file with another name (a hard link)";
    case FileProblem::RunInput:
        return "a file the run reads";
    case FileProblem::Refused:
        return writing ? "write refused" : "open refused";
    case FileProblem::DiskFull:
        return "disk full";
    case FileProblem::TooLarge:
        return "file too large";
    case FileProblem::NameTooLong:
        return "name too long";
    case FileProblem::None:
    case FileProblem::Other:
        break;
    }
    return (writing ? "write failed: " : "open failed: ") + SystemErrorText(error);
}

} // namespace

void HostFiles::SetRoot(const fs::path& root)
{
    native_.Set(root);
    root_ = root;
}

void* HostFiles::Open(const char* path, int mode, int root)
{
    FileProblem refused = FileProblem::None;
    if (path == nullptr) {
        Failed("", "no path given");
        return nullptr;
    }
    if (root != 0) {
        refused = FileProblem::NotRoot;
    } else if (failing_) {
        refused = FileProblem::Failing;
    } else if (mode != 1 && mode != 2) {
        refused = FileProblem::UnknownMode;
    } else if (!BelowRoot(path, relative_)) {
        refused = FileProblem::OutsideRoot;
    }
    if (refused != FileProblem::None) {
        Failed(path, ProblemText(refused, 0, false));
        return nullptr;
    }
    const OpenedFile opened = native_.Open(relative_, mode);
    if (opened.file == kNoFile) {
        Failed(path, ProblemText(opened.problem, opened.error, false));
        return nullptr;
    }
    if (pending_ && pending_->path != path) {
        Lost(pending_->reason);
    }
    pending_.reset(); // a failed open of this path made good
    const auto [known, first] = byIdentity_.try_emplace(opened.identity, records_.size());
    if (first) {
        records_.push_back(Record{relative_});
        FileLines lines;
        if (opened.size > 0 && native_.ReadLines(relative_, opened.identity, lines)) {
            records_.back().before = static_cast<long long>(lines.lines);
            records_.back().lineEndFirst = !lines.endsWithLineEnd;
        }
    } else if (mode == 1) {
        records_[known->second].lineEndFirst = false; // emptied
    }
    if (spare_.empty()) {
        spare_.push_back(std::make_unique<OpenFile>());
    }
    open_.push_back(std::move(spare_.back()));
    spare_.pop_back();
    open_.back()->native = opened.file;
    open_.back()->record = known->second;
    return open_.back().get();
}

bool HostFiles::WriteLine(void* file, const char* text)
{
    // A line for no open file follows an open that failed, whose line is
    // counted as not written already.
    const auto it = std::find_if(open_.begin(), open_.end(), [&](const auto& open) { return open.get() == file; });
    if (it == open_.end() || text == nullptr) {
        return false;
    }
    Record& record = records_[(*it)->record];
    line_.clear();
    if (record.lineEndFirst) {
        line_ += '\n'; // ends the line the file ended in
    }
    line_ += text;
    line_ += '\n';
    FileProblem problem = FileProblem::None;
    int error = 0;
    if (!::WriteLine((*it)->native, line_.data(), line_.size(), problem, error)) {
        Lost(ProblemText(problem, error, true));
        return false;
    }
    record.lineEndFirst = false;
    ++record.lines;
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

void HostFiles::CallEnded()
{
    if (pending_) {
        Lost(pending_->reason);
        pending_.reset();
    }
}

void HostFiles::Failed(const char* path, const std::string& reason)
{
    if (pending_ && pending_->path != path) {
        Lost(pending_->reason);
    }
    pending_ = Pending{path, reason};
}

void HostFiles::Lost(const std::string& reason)
{
    ++lost_[reason];
}

std::vector<HostFiles::Written> HostFiles::ModuleFiles() const
{
    // A path whose file was replaced during the run (removed and made anew)
    // is listed once.
    std::map<std::string, Written> byPath;
    for (const Record& record : records_) {
        const auto [it, first] = byPath.try_emplace(record.path, Written{record.path, 0, record.before});
        it->second.lines += record.lines;
    }
    std::vector<Written> written;
    for (auto& [path, file] : byPath) {
        written.push_back(file);
    }
    return written;
}

std::vector<HostFiles::NotWritten> HostFiles::LinesNotWritten() const
{
    std::map<std::string, long long> lost = lost_;
    if (pending_) {
        ++lost[pending_->reason];
    }
    std::vector<NotWritten> notWritten;
    for (const auto& [reason, lines] : lost) {
        notWritten.push_back(NotWritten{reason, lines});
    }
    return notWritten;
}

long long HostFiles::LinesNotWrittenCount() const
{
    long long count = pending_ ? 1 : 0;
    for (const auto& [reason, lines] : lost_) {
        count += lines;
    }
    return count;
}
