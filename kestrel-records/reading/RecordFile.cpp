#include "kestrel-records/reading/RecordFile.h"

#include "kestrel-records/common/RecordsError.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

std::string_view BaseName(std::string_view path)
{
#ifdef _WIN32
    const std::size_t cut = path.find_last_of("/\\");
#else
    const std::size_t cut = path.find_last_of('/');
#endif
    return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

RecordName ParseRecordName(std::string_view path)
{
    std::string_view name = BaseName(path);
    RecordName record;
    if (name.size() >= 4 && name.substr(name.size() - 4) == ".txt") {
        name.remove_suffix(4);
        // The vessel's name may hold '_' itself: the stamp follows the last.
        const std::size_t underscore = name.rfind('_');
        if (underscore != std::string_view::npos) {
            const std::string_view stamp = name.substr(underscore + 1);
            const std::size_t digits = stamp.size() > 0 && stamp[0] == '-' ? 1 : 0;
            bool isInteger = stamp.size() > digits && stamp.size() - digits <= 10 &&
                             (stamp[digits] != '0' || stamp.size() == digits + 1);
            for (std::size_t i = digits; isInteger && i < stamp.size(); ++i) {
                isInteger = stamp[i] >= '0' && stamp[i] <= '9';
            }
            if (isInteger) {
                record.vessel = std::string(name.substr(0, underscore));
                record.stamp = std::string(stamp);
                record.fromName = true;
                return record;
            }
        }
    }
    record.vessel = std::string(name);
    return record;
}

void ReadLines(const std::string& path, const std::function<void(const SplitLine&)>& onLine)
{
    errno = 0;
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) {
        throw RecordsError(path + ": cannot open it (" + std::strerror(errno) + ")");
    }
    LineSplitter splitter;
    char buffer[1 << 16];
    while (true) {
        errno = 0;
        const std::size_t got = std::fread(buffer, 1, sizeof buffer, file.get());
        splitter.Feed(std::string_view(buffer, got), onLine);
        if (got < sizeof buffer) {
            break;
        }
    }
    if (std::ferror(file.get())) {
        throw RecordsError(path + ": cannot read it (" + std::strerror(errno) + ")");
    }
    splitter.Finish(onLine);
}

std::string Excerpt(std::string_view text, std::size_t length)
{
    constexpr std::size_t kShown = 80;
    std::string shown = "\"";
    for (std::size_t i = 0; i < text.size() && i < kShown; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7F) {
            shown += static_cast<char>(c);
        } else {
            static constexpr char kHex[] = "0123456789ABCDEF";
            shown += "\\x";
            shown += kHex[c >> 4];
            shown += kHex[c & 0xF];
        }
    }
    shown += "\"";
    if (length > kShown) {
        shown += "... (" + std::to_string(length) + " characters)";
    }
    return shown;
}

FileScan ScanFile(const std::string& path, const std::function<void(const DataLine&)>& onData)
{
    FileScan scan;
    ReadLines(path, [&](const SplitLine& line) {
        ++scan.lines;
        DataLine data;
        // A longer line keeps more than 255 characters, which the reader refuses.
        static_assert(kKeptLineBytes > kLongestDataLine);
        const char* problem = ParseDataLine(line.text, data);
        if (problem != nullptr) {
            if (scan.badLines++ == 0) {
                scan.firstBadLine = line.number;
                scan.firstBadProblem = problem;
                scan.firstBadExcerpt = Excerpt(line.text, line.length);
            }
            return;
        }
        for (const double time : {data.startTime, data.startTime + data.span}) {
            if (std::isfinite(time)) {
                scan.earliest = scan.anyTime ? std::fmin(scan.earliest, time) : time;
                scan.latest = scan.anyTime ? std::fmax(scan.latest, time) : time;
                scan.anyTime = true;
            }
        }
        const std::pair<double, std::string_view> pitches[] = {{data.startPitch, data.startPitchText},
                                                               {data.endPitch, data.endPitchText}};
        if (!std::isfinite(data.startTime) || !std::isfinite(data.startPitch) || !std::isfinite(data.endPitch) ||
            !std::isfinite(data.span)) {
            ++scan.linesNotFinite;
        }
        for (const auto& [pitch, text] : pitches) {
            if (!std::isfinite(pitch)) {
                continue;
            }
            if (!scan.anyPitch || pitch < scan.lowestPitch) {
                scan.lowestPitch = pitch;
                scan.lowestPitchText = text;
            }
            if (!scan.anyPitch || pitch > scan.highestPitch) {
                scan.highestPitch = pitch;
                scan.highestPitchText = text;
            }
            scan.anyPitch = true;
        }
        if (onData) {
            onData(data);
        }
    });
    return scan;
}

std::string FirstBadLineMessage(const std::string& path, const FileScan& scan)
{
    return path + ":" + std::to_string(scan.firstBadLine) + ": " + scan.firstBadProblem + ": " + scan.firstBadExcerpt;
}
