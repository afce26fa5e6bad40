// kestrel-records: reads the data files the KestrelScribeMFD module writes:
// charts them, exports them as CSV and checks them, and shows them live in a
// browser while they are written.
#include "kestrel-records/commands/Commands.h"
#include "kestrel-records/common/ShownText.h"
#include "kestrel-records/outputs/FileSystem.h"
#include "kestrel-records/watch/WatchServer.h"
#include "module/Version.h"

#include <CLI/CLI.hpp>

#include <exception>
#include <iostream>
#include <new>

namespace {

// The examples are the platform's own names for a device and a pipe.
#ifdef _WIN32
constexpr const char* kInputRule =
    "Each FILE is read once, from start to end: a pipe works as a file does; a file named twice is read once; - is "
    "standard input.";
constexpr const char* kOutputRules =
    "\nThe output: a file is written whole or not at all (a temporary file beside it, then renamed); a device or a "
    "pipe (NUL, CON, \\\\.\\pipe\\NAME) is written directly; a folder, a data file (<vessel>_<stamp>.txt with data "
    "lines), an input and a file you could not write in place are refused, also where standard output goes to one. "
    "Symbolic links are followed.";
#else
constexpr const char* kInputRule =
    "Each FILE is read once, from start to end: a pipe or a FIFO works as a file does; a file named twice is read "
    "once; - is standard input.";
constexpr const char* kOutputRules =
    "\nThe output: a file is written whole or not at all (a temporary file beside it, then renamed; the new file keeps "
    "the old one's mode, and its owner where it may); a device or a FIFO (/dev/null, /dev/stdout, a pipe) is written "
    "directly; a folder, a socket or a block device, a data file (<vessel>_<stamp>.txt with data lines), an input and "
    "a file you could not write in place are refused, also where standard output goes to one. Symbolic links are "
    "followed.";
#endif

// What the command line parser says of the words it was given, each line
// escaped as every message's names are.
std::string ShownLines(const std::string& text)
{
    std::string shown;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        shown += Shown(std::string_view(text).substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) {
            break;
        }
        shown += '\n';
        start = end + 1;
    }
    return shown;
}
constexpr const char* kWatchHelp =
    "\nServes one page and a small HTTP API on this computer only (127.0.0.1) and prints its\n"
    "URL; open it in a browser (or give --open). The page lists the data files of FOLDER\n"
    "grouped by vessel (stamp as UTC date and time, lines, last time), charts the pitch of\n"
    "those chosen as plot does, and follows them as the module writes: the newest 60 s\n"
    "(adjustable) stay in view until you zoom (drag a range, mouse wheel, + and -) or pan\n"
    "(arrow keys, the buttons); Follow takes it up again, Reset shows all. The cursor reads\n"
    "out the time, the pitch and the exact text and number of the nearest line. CSV and SVG\n"
    "download the visible range as export and plot write them.\n"
    "FOLDER may not be there yet: it is waited for. Only whole lines are read (a line being\n"
    "written once it has ended); a file that shrinks or is rewritten is read again from its\n"
    "start; a line the module would not write is named as check names it. Files of any\n"
    "length are indexed, not loaded: a zoom reads only what it shows.\n"
    "Safe by default: read-only, nothing is written anywhere; only regular files directly in\n"
    "FOLDER, symbolic links not followed; requests name files by the ids the page was given;\n"
    "the Host header must name the address served. --bind ADDRESS serves on that address of\n"
    "this computer instead, with a warning: the records are then readable by the network.\n"
    "Ctrl-C ends it with one line. Exit codes: 0 after Ctrl-C; 2 when it cannot listen.";

} // namespace

int main(int argc, char** argv)
{
    CLI::App app{"kestrel-records: charts, exports and checks the data files of the KestrelScribeMFD recorder\n"
                 "(KestrelScribeData/<vessel>_<stamp>.txt, lines like 0.0=pitch(5.00, 7.50, 10.0))"};
    app.require_subcommand(1);
    app.set_version_flag("--version", "kestrel-records " KESTREL_VERSION_TEXT);
    // A path that starts with '/' is a path, also on Windows.
    app.allow_windows_style_options(false);
    app.failure_message([](const CLI::App* parser, const CLI::Error& e) {
        return ShownLines(CLI::FailureMessage::simple(parser, e));
    });
    WritesPastTheSizeLimitFail();

    std::vector<std::string> files;
    std::string output;

    CLI::App* plot = app.add_subcommand("plot", "Draw the files' pitch over time as one SVG chart, a series per file");
    plot->add_option("FILE", files, "Data files")->required();
    plot->add_option("-o,--output", output, "The chart (default, for one file: the file with .svg; -: standard output)");
    plot->footer(std::string(kInputRule) + kOutputRules);

    CLI::App* exportTable = app.add_subcommand(
        "export", "Write every data line as a CSV row: vessel,stamp,start_s,start_pitch_deg,end_pitch_deg,span_s");
    exportTable->add_option("FILE", files, "Data files")->required();
    exportTable->add_option("-o,--output", output, "The CSV file (default, or -: standard output)");
    exportTable->footer(std::string(kInputRule) + kOutputRules);

    WatchOptions watchOptions;
    watchOptions.port = kDefaultWatchPort;
    std::string bindAddress;
    CLI::App* watch = app.add_subcommand(
        "watch", "Show the records of a folder live in a browser while the simulator writes them");
    watch->add_option("FOLDER", watchOptions.folder, "The data folder (default: KestrelScribeData)");
    watch->add_option("--port", watchOptions.port,
                      "The port (default: " + std::to_string(kDefaultWatchPort) + "; 0: a free one)");
    watch->add_option("--bind", bindAddress,
                      "Serve on this address of the computer instead of 127.0.0.1 (the network can read the records)");
    watch->add_flag("--open", watchOptions.open, "Start the browser on the page");
    watch->footer(kWatchHelp);

    std::string topic;
    CLI::App* help = app.add_subcommand("help", "Show this help, or a command's");
    help->add_option("COMMAND", topic, "The command to explain");

    CLI::App* check = app.add_subcommand(
        "check", "Say for each file whether every line is one the module writes (exit 0), or which is not (exit 1)");
    check->add_option("FILE", files, "Data files")->required();
    check->footer(kInputRule);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? 0 : 2;
    }

    if (*help) {
        // App::help() would explain the command being run, `help` itself.
        if (topic.empty()) {
            std::cout << app.get_formatter()->make_help(&app, "kestrel-records", CLI::AppFormatMode::Normal);
            return 0;
        }
        std::string names;
        for (CLI::App* command : app.get_subcommands({})) {
            if (command->get_name() == topic) {
                std::cout << command->get_formatter()->make_help(command, "kestrel-records " + topic,
                                                                 CLI::AppFormatMode::Normal);
                return 0;
            }
            names += (names.empty() ? "" : ", ") + command->get_name();
        }
        std::cerr << "kestrel-records: help: no command '" << topic << "' (commands: " << names << ")\n";
        return 2;
    }

    try {
        const std::optional<std::string> out = output.empty() ? std::nullopt : std::optional<std::string>(output);
        if (*plot) {
            return PlotCommand(files, out, std::cout, std::cerr);
        }
        if (*exportTable) {
            // The table goes out through the system's own calls, never
            // through a text-mode stream: its rows keep their CRLF as it is.
            return ExportCommand(files, out, std::cout, std::cerr);
        }
        if (*watch) {
            if (!bindAddress.empty()) {
                watchOptions.bind = bindAddress;
            }
            return WatchCommand(watchOptions, std::cout, std::cerr);
        }
        return CheckCommand(files, std::cout, std::cerr);
    } catch (const std::bad_alloc&) {
        std::cerr << "kestrel-records: out of memory\n";
    } catch (const std::exception& e) {
        std::cerr << "kestrel-records: " << e.what() << "\n";
    }
    return 2;
}
