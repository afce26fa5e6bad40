#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const fs::path& file, const std::string& bytes)
{
    std::ofstream(file, std::ios::binary) << bytes;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> FilesUnder(const fs::path& folder)
{
    std::vector<std::string> files;
    std::error_code ec;
    if (!fs::exists(folder, ec)) {
        return files;
    }
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            files.push_back(entry.path().lexically_relative(folder).generic_string());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<std::string> StartingWith(const std::vector<std::string>& lines, const std::string& prefix)
{
    std::vector<std::string> found;
    for (const std::string& line : lines) {
        if (line.compare(0, prefix.size(), prefix) == 0) {
            found.push_back(line);
        }
    }
    return found;
}

std::size_t CountStartingWith(const std::vector<std::string>& lines, const std::string& prefix)
{
    return StartingWith(lines, prefix).size();
}

std::size_t Occurrences(const std::string& text, const std::string& needle)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) {
        ++count;
    }
    return count;
}

std::string Digits(std::size_t length)
{
    std::string text;
    while (text.size() < length) {
        text += "0123456789";
    }
    return text.substr(0, length);
}

std::string CurrentTestName()
{
    // Outside a test (a suite's set-up), the suite's name.
    const auto* unit = ::testing::UnitTest::GetInstance();
    const auto* info = unit->current_test_info();
    std::string name = info != nullptr ? std::string(info->test_suite_name()) + "." + info->name()
                                       : std::string(unit->current_test_suite()->name());
    std::replace(name.begin(), name.end(), '/', '_');
    return name;
}
