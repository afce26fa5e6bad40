// kestrel-records: reads the data files the KestrelScribeMFD module writes:
// charts them, exports them as CSV and checks them.
#include "kestrel-records/Commands.h"
#include "module/Version.h"

#include <CLI/CLI.hpp>

#include <exception>
#include <iostream>
#include <new>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

int main(int argc, char** argv)
{
    CLI::App app{"kestrel-records: charts, exports and checks the data files of the KestrelScribeMFD recorder\n"
                 "(KestrelScribeData/<vessel>_<stamp>.txt, lines like 0.0=pitch(5.00, 7.50, 10.0))"};
    app.require_subcommand(1);
    app.set_version_flag("--version", "kestrel-records " KESTREL_VERSION_TEXT);
    // A path that starts with '/' is a path, also on Windows.
    app.allow_windows_style_options(false);

    std::vector<std::string> files;
    std::string output;

    CLI::App* plot = app.add_subcommand("plot", "Draw the files' pitch over time as one SVG chart, a series per file");
    plot->add_option("FILE", files, "Data files")->required();
    plot->add_option("-o,--output", output, "The chart (default, for one file: the file with .svg)");

    CLI::App* exportTable = app.add_subcommand(
        "export", "Write every data line as a CSV row: vessel,stamp,start_s,start_pitch_deg,end_pitch_deg,span_s");
    exportTable->add_option("FILE", files, "Data files")->required();
    exportTable->add_option("-o,--output", output, "The CSV file (default: standard output)");

    CLI::App* check = app.add_subcommand(
        "check", "Say for each file whether every line is one the module writes (exit 0), or which is not (exit 1)");
    check->add_option("FILE", files, "Data files")->required();

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
#ifdef _WIN32
            // The rows end in CRLF already; text mode would add a CR more.
            _setmode(_fileno(stdout), _O_BINARY);
#endif
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
