// The watch server: one page and a small HTTP API over a WatchedFolder, for
// a browser on this computer. Read-only. Every request must name, in its
// Host header, the address served (a page from elsewhere that a name was
// turned to point here is refused) and come from no other origin; files are
// named by the ids the folder gave them; requests are small, and bounded in
// what they ask for.
//
//   GET /                      the page (and its script, style and uPlot)
//   GET /api/files             the files: id, name, vessel, stamp as UTC,
//                              lines, times, bad lines
//   GET /api/range?file=ID[&from=S&to=S][&columns=N]
//                              the file's series over [from, to] (default:
//                              all of it) reduced as plot reduces it, then to
//                              at most four points per column (N, default 800)
//   GET /api/line?file=ID&t=S  the line nearest to time S: number and text
//   GET /api/csv?files=ID,...[&from=S&to=S]
//                              the lines that meet the range as export writes them
//   GET /api/svg?files=ID,...[&from=S&to=S]
//                              the chart of the range as plot draws it
//   GET /api/events            Server-Sent Events: "files" whenever a file
//                              grows, comes, goes or starts over
#pragma once

#include "kestrel-records/watch/WatchedFolder.h"

#include <memory>
#include <string>

inline constexpr int kDefaultWatchPort = 8470;
inline constexpr int kMostColumns = 4096;
inline constexpr std::size_t kMostFilesAsked = 32;
inline constexpr int kMostEventStreams = 8;

class WatchServer {
public:
    explicit WatchServer(WatchedFolder& folder);
    ~WatchServer();
    WatchServer(const WatchServer&) = delete;
    WatchServer& operator=(const WatchServer&) = delete;

    // Listens on `address`, `port` (0: a free one): the port. Throws
    // RecordsError when it cannot.
    int Bind(const std::string& address, int port);
    // Serves until Stop.
    void Run();
    void Stop();

private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
};

// Whether `address` is one of this computer's loopback addresses.
bool IsLoopback(const std::string& address);
// A stamp (Modified Julian Date × 10000) as "YYYY-MM-DD HH:MM:SS UTC"; ""
// when it is not a whole number of at most 12 digits.
std::string StampAsUtc(const std::string& stamp);
