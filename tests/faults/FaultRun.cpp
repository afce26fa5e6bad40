#include "tests/faults/FaultRun.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <set>

namespace fs = std::filesystem;

namespace {

// Sets an environment variable for the lifetime of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name)
    {
        if (!value) {
            return;
        }
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        set_ = true;
        ::setenv(name, value->c_str(), 1);
    }
    ~ScopedEnv()
    {
        if (!set_) {
            return;
        }
        if (old_) {
            ::setenv(name_, old_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
    bool set_ = false;
};

// The files the flight asks the host to write, relative to the root.
std::vector<std::string> RequestedOutputs(const fs::path& flight)
{
    std::ifstream in(flight);
    const nlohmann::json top = nlohmann::json::parse(in);
    std::vector<std::string> outputs;
    for (const auto& event : top.value("events", nlohmann::json::array())) {
        for (const char* key : {"save", "svg", "log", "bmp"}) {
            if (event.contains(key)) {
                outputs.push_back(fs::path(event[key].get<std::string>()).lexically_normal().generic_string());
            }
        }
    }
    return outputs;
}

} // namespace

std::string FaultRun::Output(const std::string& relative) const
{
    return ReadFile(host.root / relative);
}

std::map<std::string, std::string> FaultRun::DataFiles() const
{
    std::map<std::string, std::string> files;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(host.root / "KestrelScribeData", ec)) {
        files[entry.path().filename().string()] = ReadFile(entry.path());
    }
    return files;
}

FaultRun PlayFlight(const std::string& flight, const std::optional<std::string>& locale, const std::string& folder)
{
    FaultRun run;
    run.flight = flight;
    run.folder = FreshFolder(folder);
    run.before = EntriesUnder(run.folder);
    {
        const ScopedEnv env("LC_ALL", locale);
        run.host = RunFlight(Flight(flight), run.folder / "run");
    }
    run.trace = Lines(ReadFile(run.host.trace));
    return run;
}

void ExpectCleanRun(const FaultRun& run, int exitCode)
{
    SCOPED_TRACE(run.flight);
    EXPECT_EQ(run.host.exitCode, exitCode) << run.host.err;
    for (const char* report : {"Sanitizer", "runtime error:"}) {
        EXPECT_EQ(run.host.err.find(report), std::string::npos) << run.host.err;
    }

    std::set<std::string> allowed = {"run", "run/stdout.txt", "run/stderr.txt", "run/trace.txt", "run/root",
                                      "run/root/KestrelScribeData"};
    for (const std::string& output : RequestedOutputs(Flight(run.flight))) {
        for (fs::path p = fs::path("run/root") / output; p != "run/root" && !p.empty(); p = p.parent_path()) {
            allowed.insert(p.generic_string());
        }
    }
    const std::set<std::string> before(run.before.begin(), run.before.end());
    const fs::path dataFolder = "run/root/KestrelScribeData";
    for (const std::string& entry : EntriesUnder(run.folder)) {
        if (before.count(entry) != 0 || allowed.count(entry) != 0) {
            continue;
        }
        // A data file: a plain file right inside the data folder.
        const fs::path path(entry);
        const bool dataFile = path.parent_path() == dataFolder && fs::is_regular_file(run.folder / path);
        EXPECT_TRUE(dataFile) << "'" << entry << "' appeared outside the data folder";
    }
}

std::vector<std::string> EntriesUnder(const fs::path& folder)
{
    std::vector<std::string> entries;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, fs::directory_options::skip_permission_denied, ec);
         it != fs::recursive_directory_iterator(); it.increment(ec)) {
        entries.push_back(it->path().lexically_relative(folder).generic_string());
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

