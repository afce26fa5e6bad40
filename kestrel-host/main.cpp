// kestrel-host: a stand-in for the simulator that loads the KestrelScribeMFD
// plug-in, plays a flight file through it, and plots its data files.
#include "kestrel-host/BatchCommand.h"
#include "kestrel-host/ModuleLoader.h"
#include "kestrel-host/PlotCommand.h"
#include "kestrel-host/RunCommand.h"

#include <CLI/CLI.hpp>

#include <string>

int main(int argc, char** argv)
{
    CLI::App app{"kestrel-host: a stand-in host that loads the KestrelScribeMFD plug-in"};
    app.require_subcommand(1);
    // Options are written --name on every platform; a path that starts with
    // '/' is a path, also on Windows.
    app.allow_windows_style_options(false);

    RunOptions run;
    std::string flight, root, module, trace;
    CLI::App* runCommand = app.add_subcommand("run", "Play a flight file through the module");
    runCommand->add_option("FLIGHT", flight, "The flight file (JSON)")->required();
    runCommand->add_option("--root", root, "The host's root folder (default: the current folder)");
    runCommand->add_option("--module", module, "The plug-in (default: " + PluginFileName() + " next to this program)");
    runCommand->add_option("--trace", trace, "Write every host operation the module calls, and the host's calls into it");

    BatchOptions batch;
    std::string batchModule;
    CLI::App* batchCommand = app.add_subcommand(
        "batch", "Play the flights of a list one after the other, each as 'run' would in a process of its own");
    batchCommand->add_option("LIST", batch.list,
                             "One flight a line: FLIGHT<tab>ROOT[<tab>TRACE]; each run's output goes to ROOT.out, "
                             "its messages to ROOT.err, its exit code to ROOT.code")
        ->required();
    batchCommand->add_option("--module", batchModule, "The plug-in (default: " + PluginFileName() + " next to this program)");

    std::string data, out;
    CLI::App* plotCommand = app.add_subcommand("plot", "Draw a data file's pitch history as an SVG chart");
    plotCommand->add_option("DATAFILE", data, "A data file the module wrote")->required();
    plotCommand->add_option("-o,--output", out, "The SVG file (default: DATAFILE with .svg)");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? 0 : 2;
    }

    if (*runCommand) {
        run.flight = flight;
        if (!root.empty()) {
            run.root = root;
        }
        if (!module.empty()) {
            run.module = module;
        }
        if (!trace.empty()) {
            run.trace = trace;
        }
        run.programFolder = ProgramFolder(argc > 0 ? argv[0] : nullptr);
        return RunFlight(run);
    }
    if (*batchCommand) {
        if (!batchModule.empty()) {
            batch.module = batchModule;
        }
        batch.programFolder = ProgramFolder(argc > 0 ? argv[0] : nullptr);
        return RunBatch(batch);
    }
    return PlotDataFile(data, out.empty() ? std::nullopt : std::optional<std::filesystem::path>(out));
}
