// The commands of kestrel-records. Each returns the program's exit
// code and writes its report to `out`, its messages to `err`.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

// One SVG chart of the files, a series per file. Default output: the one
// file's name with ".svg"; several files need `output` ("-": standard
// output). `out` gets the report of what was written where.
int PlotCommand(const std::vector<std::string>& files, const std::optional<std::string>& output, std::ostream& out,
                std::ostream& err);

// Every data line of the files as a CSV row, to `output` (none or "-":
// standard output). `out` gets the report of what was written where.
int ExportCommand(const std::vector<std::string>& files, const std::optional<std::string>& output, std::ostream& out,
                  std::ostream& err);

// Whether every line of each file is one the module writes, with counts
// and ranges: 0 when all are, 1 when a line is not, 2 when a file cannot
// be read.
int CheckCommand(const std::vector<std::string>& files, std::ostream& out, std::ostream& err);

// kestrel-records watch: serves the folder's records to a browser until
// SIGINT or SIGTERM (Ctrl-C), then returns 0; 2 when it cannot listen.
struct WatchOptions {
    std::string folder = "KestrelScribeData";
    int port = 8470; // kDefaultWatchPort (watch/WatchServer.h), which main() gives
    std::optional<std::string> bind; // default: 127.0.0.1, this computer only
    bool open = false;               // start the user's browser on the page
};
int WatchCommand(const WatchOptions& options, std::ostream& out, std::ostream& err);
