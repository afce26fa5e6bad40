#include "kestrel-host/RunCommand.h"

#include "kestrel-host/Flight.h"
#include "kestrel-host/FlightRun.h"
#include "kestrel-host/HostContext.h"
#include "kestrel-host/HostError.h"
#include "kestrel-host/ModuleLoader.h"
#include "kestrel-host/Trace.h"

#include <clocale>
#include <iostream>
#include <set>

namespace fs = std::filesystem;

namespace {


// Removes what a failed run left in the root folder: folders that are new
// and hold no file (the module makes its data folder before any file goes
// in), and the root itself if the run made it and it is empty.
class Rollback {
public:
    void Before(const fs::path& root, bool rootCreated)
    {
        root_ = root;
        rootCreated_ = rootCreated;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(root, ec)) {
            existing_.insert(entry.path().filename());
        }
    }

    void Undo() const
    {
        if (root_.empty()) {
            return;
        }
        std::error_code ec;
        std::vector<fs::path> fresh;
        for (const auto& entry : fs::directory_iterator(root_, ec)) {
            if (existing_.count(entry.path().filename()) == 0 && entry.is_directory(ec) && HoldsNoFile(entry.path())) {
                fresh.push_back(entry.path());
            }
        }
        for (const fs::path& folder : fresh) {
            fs::remove_all(folder, ec);
        }
        if (rootCreated_ && fs::is_empty(root_, ec)) {
            fs::current_path(root_.parent_path(), ec);
            fs::remove(root_, ec);
        }
    }

private:
    static bool HoldsNoFile(const fs::path& folder)
    {
        std::error_code ec;
        for (const auto& entry : fs::recursive_directory_iterator(folder, ec)) {
            if (!entry.is_directory(ec)) {
                return false;
            }
        }
        return true;
    }

    fs::path root_;
    bool rootCreated_ = false;
    std::set<fs::path> existing_;
};

} // namespace

int RunFlight(const RunOptions& options)
{
    Rollback rollback;
    Flight flight; // outlives the run, which refers to it
    std::unique_ptr<FlightRun> run;
    try {
        std::error_code ec;
        const fs::path start = fs::current_path();
        const fs::path flightPath = fs::absolute(options.flight).lexically_normal();
        const fs::path root = fs::absolute(options.root.value_or(start)).lexically_normal();
        const fs::path modulePath =
            fs::absolute(options.module.value_or(options.programFolder / PluginFileName())).lexically_normal();

        // Everything is checked before the module is loaded or a file made.
        flight = LoadFlight(flightPath, root);
        if (!fs::is_regular_file(modulePath, ec)) {
            throw HostError(modulePath.string() + ": no such module file");
        }
        if (fs::exists(root, ec) && !fs::is_directory(root, ec)) {
            throw HostError(root.string() + ": the root is not a folder");
        }
        if (options.trace) {
            TheTrace().Open(fs::absolute(*options.trace));
        }
        // The module runs in the C library locale the environment names
        // (LC_ALL, LC_NUMERIC, LANG), as inside a desktop application;
        // kestrel-host's own texts do not depend on it.
        std::setlocale(LC_ALL, "");
        TraceLine([] {
            const char* name = std::setlocale(LC_ALL, nullptr);
            return "locale " + std::string(name == nullptr ? "?" : name) + ", decimal point '" +
                   std::localeconv()->decimal_point + "'";
        });

        const bool rootCreated = !fs::exists(root, ec);
        fs::create_directories(root, ec);
        if (ec) {
            throw HostError(root.string() + ": cannot make the root folder: " + ec.message());
        }
        rollback.Before(root, rootCreated);
        fs::current_path(root);

        HostContext& host = Host();
        host.files.SetRoot(root);
        host.world.clockMjd = flight.clockMjd;
        for (const VesselDefinition& vessel : flight.vessels) {
            Vessel* added = host.world.Add(vessel.name, vessel.pitch);
            if (flight.focus && *flight.focus == vessel.name) {
                host.world.focus = added;
            }
        }

        run = std::make_unique<FlightRun>(flight, modulePath);
        run->LoadModule();
        run->Play();
        run->Finish();
        host.files.Commit();
        run->PrintSummary(std::cout);
        return 0;
    } catch (const HostError& e) {
        if (run) {
            run->Finish();
        }
        rollback.Undo();
        std::cerr << "kestrel-host: " << e.what() << "\n";
        return 2;
    } catch (const std::filesystem::filesystem_error& e) {
        if (run) {
            run->Finish();
        }
        rollback.Undo();
        std::cerr << "kestrel-host: " << e.what() << "\n";
        return 2;
    }
}
