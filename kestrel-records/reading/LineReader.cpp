#include "kestrel-records/reading/LineReader.h"

#include "kestrel-records/common/RecordsError.h"
#include "kestrel-records/common/ShownText.h"

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

bool MoveTo(std::FILE* file, std::uint64_t offset)
{
#ifdef _WIN32
    return _fseeki64(file, static_cast<long long>(offset), SEEK_SET) == 0;
#else
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

} // namespace

std::string ShownInput(std::string_view path)
{
    return path == kStandardInput ? std::string("standard input") : Shown(path);
}

LineReader::LineReader(const std::string& path, LineStart start, std::size_t block)
    : path_(path), blockSize_(block > 0 ? block : kReadBlock), splitter_(start)
{
    errno = 0;
    if (path == kStandardInput) {
        file_ = stdin;
        ownsFile_ = false;
#ifdef _WIN32
        _setmode(_fileno(stdin), _O_BINARY); // its bytes as they are, CR LF too
#endif
    } else {
        file_ = std::fopen(path.c_str(), "rb");
    }
    if (file_ == nullptr) {
        throw RecordsError(ShownInput(path) + ": cannot open it (" + std::strerror(errno) + ")");
    }
    // The blocks are read straight into block_, not through the stream's
    // own buffer.
    std::setvbuf(file_, nullptr, _IONBF, 0);
    if (start.offset > 0) {
        errno = 0;
        if (!MoveTo(file_, start.offset)) {
            const std::string reason = std::strerror(errno);
            if (ownsFile_) {
                std::fclose(file_);
            }
            throw RecordsError(ShownInput(path) + ": cannot read it from byte " + std::to_string(start.offset) + " (" + reason +
                               ")");
        }
    }
    block_ = std::make_unique<char[]>(blockSize_);
}

LineReader::~LineReader()
{
    if (ownsFile_) {
        std::fclose(file_);
    }
}

const SplitLine* LineReader::ReadOn()
{
    while (!atEnd_) {
        errno = 0;
        const std::size_t got = std::fread(block_.get(), 1, blockSize_, file_);
        // fread gives less than asked only at the end of the file or on an
        // error, also from a pipe.
        atEnd_ = got < blockSize_;
        readError_ = errno;
        splitter_.Give(std::string_view(block_.get(), got));
        if (const SplitLine* line = splitter_.Next()) {
            return line;
        }
    }
    if (finished_) {
        return nullptr;
    }
    finished_ = true;
    if (std::ferror(file_)) {
        throw RecordsError(ShownInput(path_) + ": cannot read it (" + std::strerror(readError_) + ")");
    }
    return splitter_.Last();
}
