// kestrel-host: a stand-in for the simulator that loads the KestrelScribeMFD
// plug-in and plays a flight file through it.
#include "kestrel-host/ModuleLoader.h"
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

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? 0 : 2;
    }

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
