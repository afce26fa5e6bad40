// kestrel-host: a stand-in for the simulator that loads the KestrelScribeMFD
// plug-in and plays flight files through it.
#include "kestrel-host/commands/BatchCommand.h"
#include "kestrel-host/commands/Interrupts.h"
#include "kestrel-host/commands/RunCommand.h"
#include "kestrel-host/simulator/ModuleLoader.h"

#include <CLI/CLI.hpp>

#include <iostream>
#include <string>

namespace {

// Ends the help of every command. The flight-file reference is where this
// build's user finds it: in the sources, or in the Windows package.
const char* const kWhereThingsAre =
#ifdef _WIN32
    "\nFlight files: their keys, events and outputs are described in flight-files.html,\n"
    "beside kestrel-host.exe in the release package.\n"
#else
    "\nFlight files: their keys, events and outputs are described in kestrel-host/README.md.\n"
#endif
    "Outputs: the module's data files land in ROOT/KestrelScribeData/ (ROOT: --root, or the\n"
    "current folder); a flight's saved scenarios and snapshots under ROOT, where its paths\n"
    "name them; the summary on standard output, with the lines this run wrote to each data\n"
    "file and, under 'lines not written', each line the module could not write and why.\n"
    "Every path is checked before the first step: no control character in it; no output\n"
    "in a data folder (any root's; names compared as Windows finds them, links followed),\n"
    "on an input of the run (the module is one) or on another output; no root in a data\n"
    "folder. The trace and a batch's ROOT.out, .err and .code are never written through a\n"
    "symbolic link at their name or into a file with another name (a hard link), and the\n"
    "module's data files never into a file with another name or an input.\n"
    "Exit codes of run (and of each flight of a batch, in ROOT.code):\n"
    "  0 the flight played to its end and every line the module wrote is in its file;\n"
    "  3 the flight played to its end but lines were lost (see 'lines not written');\n"
    "  2 bad input, with a message naming the file and the problem, or a run stopped.\n"
    "A flight is checked whole before its first step, so one that is bad as written\n"
    "writes nothing; one stopped by what shows only while running keeps every\n"
    "line the module wrote before the stop, and the message lists those data files.\n"
    "SIGINT (Ctrl-C) or SIGTERM stops a run between two steps with one line on standard\n"
    "error (the step, the simulated time, the lines written, the data files kept); the\n"
#ifdef _WIN32
    "program then ends with exit code 2. batch exits 0 once every flight of its list has\n"
#else
    "program then ends by that signal. batch exits 0 once every flight of its list has\n"
#endif
    "been played, 2 for a list it refuses (then it plays none).\n";

} // namespace

int main(int argc, char** argv)
{
    CLI::App app{"kestrel-host: a stand-in host that loads the KestrelScribeMFD plug-in"};
    app.require_subcommand(1);
    app.set_version_flag("--version", "kestrel-host " KESTREL_VERSION);
    app.footer(kWhereThingsAre);
    // Options are written --name on every platform; a path that starts with
    // '/' is a path, also on Windows.
    app.allow_windows_style_options(false);

    RunOptions run;
    std::string flight, root, module, trace;
    CLI::App* runCommand = app.add_subcommand("run", "Play a flight file through the module");
    runCommand->add_option("FLIGHT", flight, "The flight file (JSON)")->required();
    runCommand->add_option("--root", root, "The host's root folder (default: the current folder)");
    runCommand->add_option("--module", module, "The plug-in (default: " + PluginFileName() + " next to this program)");
    runCommand->add_option("--trace", trace,
                           "Write every host operation the module calls, and the host's calls into it (its folder "
                           "made if missing)");
    runCommand->add_option("--pace", run.pace,
                           "Play at this many simulated seconds a wall second, to watch it live (default: as fast as it can)")
        ->check(CLI::PositiveNumber & CLI::Range(1e-3, 1e6));
    runCommand->footer(kWhereThingsAre);

    std::string topic;
    CLI::App* helpCommand = app.add_subcommand("help", "Show this help, or a command's");
    helpCommand->add_option("COMMAND", topic, "The command to explain");
    helpCommand->footer(kWhereThingsAre);

    BatchOptions batch;
    std::string batchModule;
    CLI::App* batchCommand = app.add_subcommand(
        "batch", "Play the flights of a list one after the other, each as 'run' would in a process of its own");
    batchCommand->add_option("LIST", batch.list,
                             "One flight a line: FLIGHT<tab>ROOT[<tab>TRACE]; each run's output goes to ROOT.out, "
                             "its messages to ROOT.err, its exit code to ROOT.code")
        ->required();
    batchCommand->add_option("--module", batchModule, "The plug-in (default: " + PluginFileName() + " next to this program)");
    batchCommand->footer(kWhereThingsAre);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? 0 : 2;
    }

    if (*helpCommand) {
        // App::help() would explain the command being run, `help` itself.
        if (topic.empty()) {
            std::cout << app.get_formatter()->make_help(&app, "kestrel-host", CLI::AppFormatMode::Normal);
            return 0;
        }
        std::string names;
        for (CLI::App* command : app.get_subcommands({})) {
            if (command->get_name() == topic) {
                std::cout << command->get_formatter()->make_help(command, "kestrel-host " + topic,
                                                                 CLI::AppFormatMode::Normal);
                return 0;
            }
            names += (names.empty() ? "" : ", ") + command->get_name();
        }
        std::cerr << "kestrel-host: help: no command '" << topic << "' (commands: " << names << ")\n";
        return 2;
    }
    CatchInterrupts();
    if (*batchCommand) {
        if (!batchModule.empty()) {
            batch.module = batchModule;
        }
        batch.programFolder = ProgramFolder(argc > 0 ? argv[0] : nullptr);
        return RunBatch(batch);
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
    const int code = RunFlight(run);
    if (const int signal = Interruption()) {
        EndByInterruption(signal);
    }
    return code;
}
