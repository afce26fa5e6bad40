#include "kestrel-records/outputs/Spool.h"

#include "kestrel-records/outputs/OutputFile.h"
#include "kestrel-records/common/RecordsError.h"

#include <vector>

namespace {

constexpr std::size_t kInMemory = 4u << 20;

[[noreturn]] void CannotKeep()
{
    throw RecordsError("cannot keep the output until the inputs are read (a scratch file in the temporary folder: " +
                       LastSystemError() + ")");
}

} // namespace

void Spool::Write(std::string_view bytes)
{
    if (!scratch_.IsOpen() && memory_.size() + bytes.size() <= kInMemory) {
        memory_.append(bytes);
        return;
    }
    if (!scratch_.IsOpen()) {
        scratch_ = SystemFile::CreateScratch();
        if (!scratch_.IsOpen()) {
            CannotKeep();
        }
    }
    if (!scratch_.Write(bytes)) {
        CannotKeep();
    }
}

void Spool::CopyTo(OutputFile& output)
{
    output.Write(memory_);
    if (!scratch_.IsOpen()) {
        return;
    }
    if (!scratch_.Rewind()) {
        CannotKeep();
    }
    std::vector<char> buffer(1 << 16);
    while (true) {
        const long long got = scratch_.Read(buffer.data(), buffer.size());
        if (got < 0) {
            CannotKeep();
        }
        if (got == 0) {
            break;
        }
        output.Write(std::string_view(buffer.data(), static_cast<std::size_t>(got)));
    }
}
