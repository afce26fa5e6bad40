#include "kestrel-host/flight/PlainFile.h"

#include "kestrel-host/common/StopSignal.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string Size(std::size_t bytes)
{
    return bytes % (std::size_t{1} << 20) == 0 ? std::to_string(bytes >> 20) + " MiB" : std::to_string(bytes) + " bytes";
}

// Opens a plain file for reading, or says why it cannot.
bool OpenPlain(const fs::path& path, std::ifstream& in, std::string& problem)
{
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (!fs::exists(status)) {
        problem = "there is no such file";
        return false;
    }
    if (fs::is_directory(status)) {
        problem = "it is a folder, not a file";
        return false;
    }
    if (!fs::is_regular_file(status)) {
        problem = "it is not a plain file (a device or a pipe)";
        return false;
    }
    errno = 0;
    in.open(path, std::ios::binary);
    if (!in.is_open()) {
        problem = errno != 0 ? std::strerror(errno) : "it cannot be opened";
        return false;
    }
    return true;
}

} // namespace

std::optional<std::string> ReadPlainFile(const fs::path& path, std::size_t most, std::string& problem)
{
    std::ifstream in;
    if (!OpenPlain(path, in, problem)) {
        return std::nullopt;
    }
    std::string text;
    std::vector<char> buffer(1 << 16);
    while (in) {
        StopIfSignalled();
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        if (text.size() + got > most) {
            problem = "it holds more than " + Size(most) + ", more than the host reads";
            return std::nullopt;
        }
        text.append(buffer.data(), got);
    }
    if (in.bad()) {
        problem = "it cannot be read";
        return std::nullopt;
    }
    return text;
}

bool ReadPlainLines(const fs::path& path, std::size_t keep, bool unindent,
                    const std::function<void(const PlainLine&)>& onLine, std::string& problem)
{
    std::ifstream in;
    if (!OpenPlain(path, in, problem)) {
        return false;
    }
    std::string kept;
    PlainLine line;
    bool indenting = unindent;
    bool carriageReturn = false; // a '\r' held back: the line end, if a '\n' follows
    auto add = [&](char c) {
        if (indenting && (c == ' ' || c == '\t')) {
            return;
        }
        indenting = false;
        if (kept.size() < keep) {
            kept += c;
        } else if (c != ' ' && c != '\t') {
            line.cutText = true;
        }
        ++line.length;
    };
    auto end = [&] {
        ++line.number;
        line.kept = kept;
        onLine(line);
        kept.clear();
        line.length = 0;
        line.cutText = false;
        indenting = unindent;
    };
    std::vector<char> buffer(1 << 16);
    bool any = false; // bytes since the last line end
    while (in) {
        StopIfSignalled();
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        for (std::size_t i = 0; i < got; ++i) {
            const char c = buffer[i];
            if (carriageReturn) {
                carriageReturn = false;
                if (c != '\n') {
                    add('\r');
                }
            }
            if (c == '\n') {
                end();
                any = false;
            } else if (c == '\r') {
                carriageReturn = true;
                any = true;
            } else {
                add(c);
                any = true;
            }
        }
    }
    if (in.bad()) {
        problem = "it cannot be read";
        return false;
    }
    // A '\r' held back at the very end is the last line's line end.
    if (any) {
        end();
    }
    return true;
}
