#include "kestrel-records/reading/RecordFile.h"

#include "kestrel-records/common/ShownText.h"

#include <cmath>
#include <cstring>
#include <utility>

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
    LineReader lines(path);
    while (const SplitLine* line = lines.Next()) {
        onLine(*line);
    }
}

std::string Excerpt(std::string_view text, std::size_t length)
{
    constexpr std::size_t kShown = 80;
    std::string shown = "\"" + Shown(text.substr(0, kShown)) + "\"";
    if (length > kShown) {
        shown += "... (" + std::to_string(length) + " characters)";
    }
    return shown;
}

const DataLine* FileScanner::Take(const SplitLine& line)
{
    ++scan_.lines;
    // A longer line keeps more than 255 characters, which the reader refuses.
    static_assert(kKeptLineBytes > kLongestDataLine);
    const char* problem = ParseDataLine(line.text, data_);
    if (problem != nullptr) {
        if (scan_.badLines++ == 0) {
            scan_.firstBadLine = line.number;
            scan_.firstBadProblem = problem;
            scan_.firstBadExcerpt = Excerpt(line.text, line.length);
        }
        return nullptr;
    }
    const DataLine& data = data_;
    times_.Take(data);
    if (!std::isfinite(data.startTime) || !std::isfinite(data.startPitch) || !std::isfinite(data.endPitch) ||
        !std::isfinite(data.span)) {
        ++scan_.linesNotFinite;
    }
    const std::pair<double, std::string_view> pitches[] = {{data.startPitch, data.startPitchText},
                                                           {data.endPitch, data.endPitchText}};
    for (const auto& [pitch, text] : pitches) {
        if (!std::isfinite(pitch)) {
            continue;
        }
        if (!scan_.anyPitch || pitch < scan_.lowestPitch) {
            scan_.lowestPitch = pitch;
            std::memcpy(lowest_.bytes, text.data(), text.size());
            lowest_.size = text.size();
        }
        if (!scan_.anyPitch || pitch > scan_.highestPitch) {
            scan_.highestPitch = pitch;
            std::memcpy(highest_.bytes, text.data(), text.size());
            highest_.size = text.size();
        }
        scan_.anyPitch = true;
    }
    return &data_;
}

FileScan FileScanner::Done()
{
    if (scan_.anyPitch) {
        scan_.lowestPitchText.assign(lowest_.bytes, lowest_.size);
        scan_.highestPitchText.assign(highest_.bytes, highest_.size);
    }
    scan_.anyTime = times_.Any();
    if (scan_.anyTime) {
        scan_.earliest = times_.Earliest();
        scan_.latest = times_.Latest();
        scan_.earliestText = times_.EarliestText();
        scan_.latestText = times_.LatestText();
    }
    return std::move(scan_);
}

FileScan ScanFile(const std::string& path)
{
    return ScanFile(path, [](const DataLine&) {});
}

std::string FirstBadLineMessage(const std::string& path, const FileScan& scan)
{
    return ShownInput(path) + ":" + std::to_string(scan.firstBadLine) + ": " + scan.firstBadProblem + ": " + scan.firstBadExcerpt;
}
