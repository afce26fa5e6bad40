#include "kestrel-host/commands/RunCommand.h"

#include "kestrel-host/commands/FlightRun.h"
#include "kestrel-host/commands/Interrupts.h"
#include "kestrel-host/common/HostError.h"
#include "kestrel-host/common/HostText.h"
#include "kestrel-host/common/StopSignal.h"
#include "kestrel-host/flight/FlightLoader.h"
#include "kestrel-host/simulator/HostContext.h"
#include "kestrel-host/simulator/ModuleLoader.h"
#include "kestrel-host/simulator/NativeFiles.h"
#include "kestrel-host/simulator/Trace.h"

#include <clocale>
#include <iostream>
#include <set>

namespace fs = std::filesystem;

namespace {

// Removes the root folder when this run made it and left it empty (a module
// that could not be loaded): nothing else is ever taken back.
void RemoveEmptyRoot(const fs::path& root, bool rootCreated)
{
    std::error_code ec;
    if (rootCreated && fs::is_empty(root, ec) && !ec) {
        fs::current_path(root.parent_path(), ec);
        fs::remove(root, ec);
    }
}

// A path named on the command line: its text first.
void CheckText(const std::string& what, const fs::path& path)
{
    if (const auto problem = PathTextProblem(path.string())) {
        throw HostError(what + ": " + *problem);
    }
}

} // namespace

int RunFlight(const RunOptions& options)
{
    Flight flight; // outlives the run, which refers to it
    std::unique_ptr<FlightRun> run;
    fs::path root;
    bool rootCreated = false;
    // A stop: the message, and once the steps have begun, what is kept.
    auto stop = [&](const std::string& what) {
        std::string note;
        if (run) {
            run->Finish();
            run->EndProgress();
            if (run->Playing()) {
                note = run->StopNote();
            }
        }
        RemoveEmptyRoot(root, rootCreated);
        std::cerr << "kestrel-host: " << what << "\n";
        if (!note.empty()) {
            std::cerr << "kestrel-host: " << note << "\n";
        }
        return 2;
    };
    try {
        std::error_code ec;
        CheckText("the flight file", options.flight);
        CheckText("--root", options.root.value_or(fs::path()));
        const fs::path start = fs::current_path();
        const fs::path flightPath = fs::absolute(options.flight).lexically_normal();
        root = fs::absolute(options.root.value_or(start)).lexically_normal();
        const fs::path modulePath =
            fs::absolute(options.module.value_or(options.programFolder / PluginFileName())).lexically_normal();

        // Everything is checked before the module is loaded or a file made:
        // every path the run reads or writes against all the others.
        RunPaths paths(options.batch);
        if (const auto problem = paths.Input(flightPath, flightPath.string(), "the flight file")) {
            throw HostError("the flight file: " + *problem);
        }
        // The plug-in file is read by the run as much as the flight is.
        if (const auto problem = paths.Input(modulePath, modulePath.string(), "the module (--module)")) {
            throw HostError("--module: " + *problem);
        }
        if (options.batch == nullptr) { // a batch checks its roots with its list
            const std::string written = options.root ? options.root->string() : "";
            if (const auto problem = paths.Root(root, written.empty() ? root.string() : written, written)) {
                throw HostError("--root: " + *problem);
            }
        }
        paths.DataFolderOf(root);
        std::optional<fs::path> tracePath;
        if (options.trace) {
            tracePath = fs::absolute(*options.trace).lexically_normal();
            auto problem = CommandOutputProblem(*options.trace);
            if (!problem && options.batch == nullptr) {
                problem = paths.Output(*tracePath, options.trace->string(), "the trace (--trace)");
            }
            if (problem) {
                throw HostError("--trace: " + *problem);
            }
        }
        flight = LoadFlight(flightPath, root, std::move(paths));
        if (!fs::is_regular_file(modulePath, ec)) {
            throw HostError(modulePath.string() + ": no such module file");
        }
        if (fs::exists(root, ec) && !fs::is_directory(root, ec)) {
            throw HostError(root.string() + ": the root is not a folder");
        }
        if (fs::is_symlink(fs::symlink_status(root, ec)) && !fs::exists(root, ec)) {
            throw HostError(root.string() + ": the root is a symbolic link that leads nowhere (to " +
                            QuotedPath(fs::read_symlink(root, ec).string()) + ")");
        }
        std::set<FileIdentity> inputs = IdentitiesAt(flight.inputs);
        if (options.batchInputs != nullptr) {
            inputs.insert(options.batchInputs->begin(), options.batchInputs->end());
        }
        if (tracePath) {
            TheTrace().Open(*tracePath, inputs);
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
        if (!TheTrace().Problem().empty()) {
            throw HostError(TheTrace().Problem());
        }

        rootCreated = !fs::exists(root, ec);
        fs::create_directories(root, ec);
        if (ec) {
            rootCreated = false;
            throw HostError(root.string() + ": cannot make the root folder: " + ec.message());
        }
        fs::current_path(root);

        HostContext& host = Host();
        host.files.SetRoot(root);
        host.files.SetInputs(inputs);
        host.world.clockMjd = flight.clockMjd;
        for (const VesselDefinition& vessel : flight.vessels) {
            Vessel* added = host.world.Add(vessel.name, PitchTable{vessel.pitch});
            if (flight.focus && *flight.focus == vessel.name) {
                host.world.focus = added;
            }
        }

        run = std::make_unique<FlightRun>(flight, modulePath);
        run->LoadModule();
        run->SetPace(options.pace);
        run->Play();
        run->Finish();
        run->EndProgress();
        run->PrintSummary(std::cout);
        return run->ExitCode();
    } catch (const RunInterrupted& interrupted) {
        run->Finish();
        run->ClearProgress();
        std::cerr << "kestrel-host: " << run->InterruptNote(interrupted.signal) << "\n";
        return 2;
    } catch (const StoppedBySignal& stopped) {
        // Before the first step: the module is not loaded yet.
        return stop(std::string("stopped by ") + SignalName(stopped.signal) +
                    " while the flight was checked, before the module was loaded; nothing was written");
    } catch (const HostError& e) {
        return stop(e.what());
    } catch (const std::filesystem::filesystem_error& e) {
        return stop(e.what());
    } catch (const std::exception& e) {
        // No problem of the input's but one of the host's own (memory ran
        // out): the run stops as on any other, keeping what it wrote.
        return stop(std::string("the run stopped on an unexpected error: ") + e.what());
    }
}
