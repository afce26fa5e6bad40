// The one source that includes the HTTP library: its Windows half brings in
// the socket headers, which must come before anything else of Windows.
#define CPPHTTPLIB_THREAD_POOL_COUNT 16
#define CPPHTTPLIB_LISTEN_BACKLOG 16
#include <httplib.h>

#include "kestrel-records/watch/WatchServer.h"

#include "kestrel-records/charts/Chart.h"
#include "kestrel-records/common/RecordsError.h"
#include "kestrel-records/outputs/Csv.h"
#include "kestrel-records/watch/PageFiles.h"

#include <nlohmann/json.hpp>

#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <set>

using nlohmann::json;

namespace {

// A number for JSON: non-finite values as the files print them.
json Value(double value)
{
    if (std::isnan(value)) {
        return "nan";
    }
    if (std::isinf(value)) {
        return value > 0 ? "inf" : "-inf";
    }
    return value;
}

std::string Dump(const json& value)
{
    // Names and lines that are not UTF-8 reach the page with U+FFFD.
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

void Refuse(httplib::Response& res, int status, const std::string& message)
{
    res.status = status;
    res.set_content(Dump(json{{"error", message}}), "application/json");
}

struct BadRequest {
    std::string message;
};

int ParseId(const std::string& text, const char* what)
{
    int id = 0;
    const auto [end, problem] = std::from_chars(text.data(), text.data() + text.size(), id);
    if (text.empty() || text.size() > 9 || problem != std::errc() || end != text.data() + text.size() || id < 1) {
        throw BadRequest{std::string(what) + " must be a file id the file list gave, not \"" + text.substr(0, 40) +
                         "\""};
    }
    return id;
}

double ParseTime(const httplib::Request& req, const char* name, double otherwise)
{
    if (!req.has_param(name)) {
        return otherwise;
    }
    const std::string text = req.get_param_value(name);
    char* end = nullptr;
    const double value = text.size() <= 40 ? std::strtod(text.c_str(), &end) : NAN;
    if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(value)) {
        throw BadRequest{std::string(name) + " must be a finite number of seconds, not \"" + text.substr(0, 40) + "\""};
    }
    return value;
}

// from and to, both or neither: from > to stands for every line.
std::pair<double, double> ParseRange(const httplib::Request& req)
{
    if (req.has_param("from") != req.has_param("to")) {
        throw BadRequest{"from and to go together"};
    }
    const double from = ParseTime(req, "from", 1);
    const double to = ParseTime(req, "to", 0);
    if (req.has_param("from") && from > to) {
        throw BadRequest{"from must not be after to"};
    }
    return {from, to};
}

std::string StampText(const RecordName& name)
{
    return name.fromName ? name.stamp : "";
}

// The days since 1970-01-01 as a civil date (the proleptic Gregorian calendar).
void CivilDate(long long days, long long& year, unsigned& month, unsigned& day)
{
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned shifted = (5 * dayOfYear + 2) / 153;
    day = dayOfYear - (153 * shifted + 2) / 5 + 1;
    month = shifted < 10 ? shifted + 3 : shifted - 9;
    year = static_cast<long long>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0);
}

} // namespace

bool IsLoopback(const std::string& address)
{
    return address == "localhost" || address == "::1" || address.rfind("127.", 0) == 0;
}

std::string StampAsUtc(const std::string& stamp)
{
    long long value = 0;
    const auto [end, problem] = std::from_chars(stamp.data(), stamp.data() + stamp.size(), value);
    if (stamp.empty() || stamp.size() > 12 || problem != std::errc() || end != stamp.data() + stamp.size()) {
        return "";
    }
    // MJD 40587 is 1970-01-01; a stamp's unit is 1/10000 of a day, 8.64 s.
    const long long tenThousandths = value - 405870000;
    long long days = tenThousandths / 10000;
    long long rest = tenThousandths % 10000;
    if (rest < 0) {
        rest += 10000;
        --days;
    }
    const long long seconds = rest * 864 / 100; // rounded down to the second
    long long year;
    unsigned month, day;
    CivilDate(days, year, month, day);
    char text[64];
    std::snprintf(text, sizeof text, "%04lld-%02u-%02u %02lld:%02lld:%02lld UTC", year, month, day, seconds / 3600,
                  seconds / 60 % 60, seconds % 60);
    return text;
}

struct WatchServer::Parts {
    WatchedFolder& folder;
    httplib::Server server;
    std::set<std::string> hosts; // what the Host header may say
    std::string primary;         // the one the URL names
    std::atomic<int> streams{0};

    explicit Parts(WatchedFolder& watched) : folder(watched) {}

    std::shared_ptr<RecordIndex> File(const httplib::Request& req, const char* name)
    {
        if (!req.has_param(name)) {
            throw BadRequest{std::string("name the file: ") + name + "=ID"};
        }
        const int id = ParseId(req.get_param_value(name), name);
        auto index = folder.Find(id);
        if (!index) {
            throw BadRequest{"no file " + std::to_string(id) + " in the folder (gone, or never there)"};
        }
        return index;
    }

    std::vector<std::shared_ptr<RecordIndex>> Files(const httplib::Request& req)
    {
        if (!req.has_param("files")) {
            throw BadRequest{"name the files: files=ID,ID,..."};
        }
        const std::string list = req.get_param_value("files");
        std::vector<std::shared_ptr<RecordIndex>> files;
        std::size_t at = 0;
        while (at <= list.size()) {
            const std::size_t comma = std::min(list.find(',', at), list.size());
            if (files.size() == kMostFilesAsked) {
                throw BadRequest{"at most " + std::to_string(kMostFilesAsked) + " files at a time"};
            }
            const int id = ParseId(list.substr(at, comma - at), "files");
            auto index = folder.Find(id);
            if (!index) {
                throw BadRequest{"no file " + std::to_string(id) + " in the folder (gone, or never there)"};
            }
            files.push_back(index);
            at = comma + 1;
        }
        return files;
    }

    // A file with a line the module would not write is refused for the
    // downloads, as plot and export refuse it: they are whole or nothing.
    static void RefuseBadLines(const std::vector<std::shared_ptr<RecordIndex>>& files)
    {
        for (const auto& file : files) {
            const RecordSummary summary = file->Summary();
            if (summary.badLines > 0) {
                throw BadRequest{std::string(BaseName(file->Path())) + ": " + summary.firstBad +
                                 " (kestrel-records check lists each file's first bad line)"};
            }
        }
    }

    void FileList(httplib::Response& res)
    {
        json files = json::array();
        for (const WatchedFile& file : folder.Files()) {
            const RecordSummary s = file.index->Summary();
            const RecordName& name = file.index->Name();
            files.push_back(json{{"id", file.id},
                                 {"name", file.name},
                                 {"vessel", name.vessel},
                                 {"stamp", StampText(name)},
                                 {"utc", name.fromName ? StampAsUtc(name.stamp) : ""},
                                 {"generation", s.generation},
                                 {"lines", s.lines},
                                 {"bytes", s.bytes},
                                 {"samples", s.samples},
                                 {"badLines", s.badLines},
                                 {"firstBad", s.firstBad},
                                 {"from", s.anyTime ? json(s.timeLow) : json()},
                                 {"to", s.anyTime ? json(s.timeHigh) : json()},
                                 {"last", s.anyTime ? json(s.lastTime) : json()},
                                 {"reading", s.reading}});
        }
        res.set_content(Dump(json{{"folder", folder.Folder()},
                                  {"exists", folder.Exists()},
                                  {"version", folder.Version()},
                                  {"leftOut", folder.LeftOut()},
                                  {"files", files}}),
                        "application/json");
    }

    void Range(const httplib::Request& req, httplib::Response& res)
    {
        const auto file = File(req, "file");
        auto [from, to] = ParseRange(req);
        int columns = 800;
        if (req.has_param("columns")) {
            const std::string text = req.get_param_value("columns");
            const auto [end, problem] = std::from_chars(text.data(), text.data() + text.size(), columns);
            if (text.empty() || problem != std::errc() || end != text.data() + text.size() || columns < 1 ||
                columns > kMostColumns) {
                throw BadRequest{"columns must be a whole number from 1 to " + std::to_string(kMostColumns)};
            }
        }
        const RecordSummary summary = file->Summary();
        const ChartSeries series = file->Range(from, to, columns);
        double low = from, high = to;
        if (from > to) {
            low = series.timeLow;
            high = series.timeHigh;
        }
        const std::vector<ChartPoint> line = PerColumn(series.line, low, high, columns);
        json t = json::array(), p = json::array(), j = json::array();
        for (const ChartPoint& point : line) {
            t.push_back(point.time);
            p.push_back(point.pitch);
            j.push_back(point.joined ? 1 : 0);
        }
        json marks = json::array();
        for (const ChartPoint& mark : series.marks) {
            marks.push_back(json::array({Value(mark.time), Value(mark.pitch)}));
        }
        res.set_content(Dump(json{{"generation", summary.generation},
                                  {"from", std::isfinite(low) ? json(low) : json()},
                                  {"to", std::isfinite(high) ? json(high) : json()},
                                  {"samples", series.samples},
                                  {"exact", line.size() == series.line.size() &&
                                                series.line.size() + series.notFinite == series.samples},
                                  {"t", t},
                                  {"p", p},
                                  {"j", j},
                                  {"marks", marks}}),
                        "application/json");
    }

    void Line(const httplib::Request& req, httplib::Response& res)
    {
        const auto file = File(req, "file");
        if (!req.has_param("t")) {
            throw BadRequest{"name the time: t=SECONDS"};
        }
        const NearestLine line = file->Nearest(ParseTime(req, "t", 0));
        if (!line.found) {
            res.set_content(Dump(json{{"found", false}}), "application/json");
            return;
        }
        res.set_content(Dump(json{{"found", true},
                                  {"number", line.number},
                                  {"text", line.text},
                                  {"start", Value(line.start)},
                                  {"startPitch", Value(line.startPitch)},
                                  {"endPitch", Value(line.endPitch)},
                                  {"span", Value(line.span)}}),
                        "application/json");
    }

    void Csv(const httplib::Request& req, httplib::Response& res)
    {
        const auto files = Files(req);
        const auto [from, to] = ParseRange(req);
        RefuseBadLines(files);
        res.set_header("Content-Disposition", "attachment; filename=\"pitch.csv\"");
        // Streamed: the range may hold every line of a long record.
        res.set_chunked_content_provider("text/csv; charset=utf-8", [files, from = from, to = to](
                                                                        std::size_t, httplib::DataSink& sink) {
            struct Gone {};
            std::string block = "vessel,stamp,start_s,start_pitch_deg,end_pitch_deg,span_s\r\n";
            auto flush = [&] {
                if (!sink.write(block.data(), block.size())) {
                    throw Gone{};
                }
                block.clear();
            };
            try {
                for (const auto& file : files) {
                    const RecordName& name = file->Name();
                    const std::string prefix = CsvField(name.vessel) + "," + CsvField(name.stamp) + ",";
                    file->EachLine(from, to, [&](const DataLine& line) {
                        block += prefix;
                        block += line.startTimeText;
                        block += ',';
                        block += line.startPitchText;
                        block += ',';
                        block += line.endPitchText;
                        block += ',';
                        block += line.spanText;
                        block += "\r\n";
                        if (block.size() >= (1 << 16)) {
                            flush();
                        }
                    });
                }
                flush();
                sink.done();
                return true;
            } catch (const Gone&) {
                return false;
            } catch (const RecordsError&) {
                return false; // a file gone while it was read: the download breaks off, as incomplete
            }
        });
    }

    void Svg(const httplib::Request& req, httplib::Response& res)
    {
        const auto files = Files(req);
        const auto [from, to] = ParseRange(req);
        RefuseBadLines(files);
        std::vector<ChartSeries> series;
        for (const auto& file : files) {
            series.push_back(file->Range(from, to));
        }
        std::string title;
        if (files.size() == 1) {
            const RecordName& name = files.front()->Name();
            title = "Pitch of " + name.vessel + (name.fromName ? ", stamp " + name.stamp : "");
        } else {
            title = "Pitch of " + std::to_string(files.size()) + " records";
        }
        res.set_header("Content-Disposition", "attachment; filename=\"pitch.svg\"");
        res.set_content(ChartSvg(series, title), "image/svg+xml");
    }

    void Events(httplib::Response& res)
    {
        if (streams.fetch_add(1) >= kMostEventStreams) {
            streams.fetch_sub(1);
            Refuse(res, 503, "too many pages follow this folder at once (at most " +
                                 std::to_string(kMostEventStreams) + ")");
            return;
        }
        res.set_header("Cache-Control", "no-store");
        auto seen = std::make_shared<std::uint64_t>(0);
        res.set_chunked_content_provider(
            "text/event-stream",
            [this, seen](std::size_t, httplib::DataSink& sink) {
                if (folder.Stopped()) {
                    return false;
                }
                const std::uint64_t version =
                    *seen == 0 ? folder.Version() : folder.WaitForChange(*seen, std::chrono::milliseconds(10000));
                if (folder.Stopped() || !sink.is_writable()) {
                    return false;
                }
                std::string event;
                if (version != *seen) {
                    event = "event: files\ndata: {\"version\":" + std::to_string(version) + "}\n\n";
                    *seen = version;
                } else {
                    event = ": still here\n\n"; // a connection that broke shows here
                }
                return sink.write(event.data(), event.size());
            },
            [this](bool) { streams.fetch_sub(1); });
    }
};

WatchServer::WatchServer(WatchedFolder& folder) : parts_(std::make_unique<Parts>(folder))
{
    httplib::Server& server = parts_->server;
    Parts& parts = *parts_;
    server.set_payload_max_length(1024);
    server.set_read_timeout(10, 0);
    server.set_write_timeout(10, 0);
    server.set_keep_alive_max_count(1000);
    server.set_default_headers({{"X-Content-Type-Options", "nosniff"},
                                {"Cache-Control", "no-store"},
                                {"Referrer-Policy", "no-referrer"},
                                {"X-Frame-Options", "DENY"},
                                {"Content-Security-Policy",
                                 "default-src 'self'; img-src 'self' data: blob:; style-src 'self'; "
                                 "frame-ancestors 'none'"}});
    server.set_pre_routing_handler([&parts](const httplib::Request& req, httplib::Response& res) {
        // A name that someone turned to point at this computer reaches here
        // with that name in Host: only the address served is answered.
        const std::string host = req.get_header_value("Host");
        if (req.get_header_value_count("Host") != 1 || parts.hosts.count(host) == 0) {
            Refuse(res, 403, "this server answers requests for " + parts.primary + " only");
            return httplib::Server::HandlerResponse::Handled;
        }
        // No other page may read from here, nor send anything.
        if (req.has_header("Origin") && req.get_header_value("Origin") != "http://" + host) {
            Refuse(res, 403, "requests from other origins are refused");
            return httplib::Server::HandlerResponse::Handled;
        }
        if (req.method != "GET" && req.method != "HEAD") {
            Refuse(res, 405, "read-only: GET only");
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });
    auto guarded = [&parts](void (Parts::*handler)(const httplib::Request&, httplib::Response&)) {
        return [&parts, handler](const httplib::Request& req, httplib::Response& res) {
            try {
                (parts.*handler)(req, res);
            } catch (const BadRequest& bad) {
                Refuse(res, 400, bad.message);
            } catch (const RecordsError& error) {
                Refuse(res, 404, error.what());
            }
        };
    };
    server.Get("/api/files", [&parts](const httplib::Request&, httplib::Response& res) { parts.FileList(res); });
    server.Get("/api/range", guarded(&Parts::Range));
    server.Get("/api/line", guarded(&Parts::Line));
    server.Get("/api/csv", guarded(&Parts::Csv));
    server.Get("/api/svg", guarded(&Parts::Svg));
    server.Get("/api/events", [&parts](const httplib::Request&, httplib::Response& res) { parts.Events(res); });
    server.Get(".*", [](const httplib::Request& req, httplib::Response& res) {
        const PageFile* file = FindPageFile(req.path == "/" ? "/index.html" : req.path);
        if (file == nullptr) {
            Refuse(res, 404, "nothing here: the page is at /");
            return;
        }
        res.set_content(reinterpret_cast<const char*>(file->bytes), file->size, file->type);
    });
    server.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
        Refuse(res, 500, "the request could not be answered");
    });
}

WatchServer::~WatchServer() = default;

int WatchServer::Bind(const std::string& address, int port)
{
    if (address == "0.0.0.0" || address == "::" || address == "[::]" || address.empty()) {
        throw RecordsError("--bind " + address +
                           ": name one address of this computer; requests must name it in their Host header");
    }
    httplib::Server& server = parts_->server;
    int bound = port;
    if (port == 0) {
        bound = server.bind_to_any_port(address);
    } else if (!server.bind_to_port(address, port)) {
        bound = -1;
    }
    if (bound <= 0) {
        throw RecordsError("cannot listen on " + address + " port " + std::to_string(port) +
                           " (in use by another program, or not an address of this computer)");
    }
    const std::string suffix = ":" + std::to_string(bound);
    const bool v6 = address.find(':') != std::string::npos;
    parts_->primary = (v6 ? "[" + address + "]" : address) + suffix;
    parts_->hosts.insert(parts_->primary);
    if (IsLoopback(address)) {
        for (const char* name : {"127.0.0.1", "localhost", "[::1]"}) {
            parts_->hosts.insert(name + suffix);
        }
    }
    return bound;
}

void WatchServer::Run()
{
    parts_->server.listen_after_bind();
}

void WatchServer::Stop()
{
    parts_->folder.Stop();
    parts_->server.stop();
}
