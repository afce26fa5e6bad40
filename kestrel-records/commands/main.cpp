// kestrel-records: reads the data files the KestrelScribeMFD module writes:
// charts them, exports them as CSV and checks them.
#include "kestrel-records/commands/Commands.h"
#include "kestrel-records/common/ShownText.h"
#include "kestrel-records/outputs/FileSystem.h"
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
        return CheckCommand(files, std::cout, std::cerr);
    } catch (const std::bad_alloc&) {
        std::cerr << "kestrel-records: out of memory\n";
    } catch (const std::exception& e) {
        std::cerr << "kestrel-records: " << e.what() << "\n";
    }
    return 2;
}
