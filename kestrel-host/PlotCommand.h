// kestrel-host plot: a data file's pitch history as an SVG chart.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// The samples of a data file, (time, degrees), in file order: each line
// gives the previous sample and the current one. Throws HostError naming the
// file and line when a line is not a data line.
std::vector<std::pair<double, double>> ReadDataFile(const std::filesystem::path& file);

std::string PlotSvg(const std::vector<std::pair<double, double>>& samples, const std::string& title);

// Returns the exit code: 0, or 2 (after a message on stderr).
int PlotDataFile(const std::filesystem::path& file, const std::optional<std::filesystem::path>& out);
