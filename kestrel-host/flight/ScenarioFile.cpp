#include "kestrel-host/flight/ScenarioFile.h"

#include "kestrel-host/common/HostError.h"
#include "kestrel-host/common/HostText.h"
#include "kestrel-host/flight/DisplayNames.h"
#include "kestrel-host/flight/PlainFile.h"

#include <sstream>
#include <string_view>

namespace {

std::string Where(const std::string& source, int line)
{
    return source + ":" + std::to_string(line) + ": ";
}

bool ParseCount(const std::string& text, std::uint32_t& value)
{
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    value = static_cast<std::uint32_t>(std::stoul(text));
    return value <= kLargestDisplaySize;
}

constexpr const char* kBlanks = " \t";

// Without blanks and tabs at either end.
std::string_view Trimmed(std::string_view line)
{
    const std::size_t first = line.find_first_not_of(kBlanks);
    line = first == std::string_view::npos ? std::string_view() : line.substr(first);
    const std::size_t last = line.find_last_not_of(kBlanks);
    return last == std::string_view::npos ? std::string_view() : line.substr(0, last + 1);
}

} // namespace

std::vector<ScenarioBlock> ReadScenarioFile(const std::filesystem::path& path)
{
    const std::string source = path.string();
    std::vector<ScenarioBlock> blocks;
    std::size_t items = 0;
    bool inBlock = false;
    auto onLine = [&](const PlainLine& read) {
        const int number = static_cast<int>(read.number);
        const std::string_view line = read.kept;
        if (inBlock) {
            if (Trimmed(line) == "END_MFD" && !read.cutText) {
                inBlock = false;
                return;
            }
            if (++items > kMostScenarioItems) {
                throw HostError(Where(source, number) + "more than " + std::to_string(kMostScenarioItems) +
                                " item lines; a scenario holds at most that many");
            }
            blocks.back().items.emplace_back(line);
            return;
        }
        if (line.empty() || line[0] == '#') {
            return;
        }
        const std::string found = ", found " + Quoted(line, read.length);
        std::istringstream words{std::string(line)};
        std::string begin, display, w, h, cw, ch, extra;
        words >> begin >> display >> w >> h >> cw >> ch;
        if (begin != "BEGIN_MFD") {
            throw HostError(Where(source, number) + "expected 'BEGIN_MFD <display> <width> <height> <char width> <char height>'" + found);
        }
        ScenarioBlock block;
        block.display = display;
        if (!DisplayIdOf(display)) {
            throw HostError(Where(source, number) + "unknown display " + Quoted(display) + " (known: " + KnownDisplayNames() + ")");
        }
        if (!ParseCount(w, block.width) || !ParseCount(h, block.height) || !ParseCount(cw, block.charWidth) ||
            !ParseCount(ch, block.charHeight) || (words >> extra) || read.cutText) {
            throw HostError(Where(source, number) + "expected 'BEGIN_MFD <display> <width> <height> <char width> <char height>' with sizes from 0 to " + std::to_string(kLargestDisplaySize) + found);
        }
        for (const ScenarioBlock& other : blocks) {
            if (other.display == display) {
                throw HostError(Where(source, number) + "display '" + display + "' has a second block");
            }
        }
        blocks.push_back(std::move(block));
        inBlock = true;
    };
    std::string problem;
    if (!ReadPlainLines(path, kScenarioItemBytes, true, onLine, problem)) {
        throw HostError(source + ": cannot read the scenario file: " + problem);
    }
    if (inBlock) {
        throw HostError(source + ": the block of display '" + blocks.back().display + "' has no END_MFD line");
    }
    return blocks;
}

std::string FormatScenario(const std::vector<ScenarioBlock>& blocks)
{
    std::string text = "# kestrel-host scenario\n";
    for (const ScenarioBlock& block : blocks) {
        text += "BEGIN_MFD " + block.display + " " + std::to_string(block.width) + " " + std::to_string(block.height) +
                " " + std::to_string(block.charWidth) + " " + std::to_string(block.charHeight) + "\n";
        for (const std::string& item : block.items) {
            text += item + "\n";
        }
        text += "END_MFD\n";
    }
    return text;
}
