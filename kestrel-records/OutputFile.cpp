#include "kestrel-records/OutputFile.h"

#include "kestrel-records/RecordsError.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

std::string Reason()
{
    return std::strerror(errno);
}

} // namespace

OutputFile::OutputFile(std::string target) : target_(std::move(target))
{
    // A name of its own, so two runs writing the same target do not share it.
    std::random_device random;
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".%08x.tmp", static_cast<unsigned>(random()));
    temporary_ = target_ + suffix;
    errno = 0;
    file_ = std::fopen(temporary_.c_str(), "wb");
    if (file_ == nullptr) {
        throw RecordsError(target_ + ": cannot write it (" + Reason() + ")");
    }
}

OutputFile::~OutputFile()
{
    if (file_ != nullptr) {
        std::fclose(file_);
    }
    if (!temporary_.empty()) {
        std::remove(temporary_.c_str());
    }
}

void OutputFile::Write(std::string_view bytes)
{
    errno = 0;
    if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
        throw RecordsError(target_ + ": cannot write it (" + Reason() + ")");
    }
}

void OutputFile::Commit()
{
    errno = 0;
    const bool flushed = std::fflush(file_) == 0;
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!flushed || !closed) {
        throw RecordsError(target_ + ": cannot write it (" + Reason() + ")");
    }
#ifdef _WIN32
    // rename() does not replace an existing file on Windows.
    if (!MoveFileExA(temporary_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        throw RecordsError(target_ + ": cannot put the new file in its place (Windows error " +
                           std::to_string(GetLastError()) + ")");
    }
#else
    if (std::rename(temporary_.c_str(), target_.c_str()) != 0) {
        throw RecordsError(target_ + ": cannot put the new file in its place (" + Reason() + ")");
    }
#endif
    temporary_.clear();
}

void RefuseInputAsOutput(const std::string& target, const std::vector<std::string>& inputs)
{
    for (const std::string& input : inputs) {
        bool same = target == input;
        try {
            std::error_code error;
            same = same || std::filesystem::equivalent(target, input, error);
        } catch (const std::exception&) {
            // A name the library cannot convert: it is compared as text only.
        }
        if (same) {
            throw RecordsError(target + ": is one of the files read; a record is never written over");
        }
    }
}
