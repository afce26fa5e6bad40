// The summary a run prints at its end: the module, the steps, the input-box
// answers the module refused, the data files written (the lines this run
// wrote to each), the lines that could not be written and why, and the open
// displays drawn as text.
#include "kestrel-host/commands/FlightRun.h"

#include "kestrel-host/common/HostText.h"

namespace {

std::string Lines(long long count)
{
    return std::to_string(count) + (count == 1 ? " line" : " lines");
}

} // namespace

std::string FlightRun::DataFileLine(const HostFiles::Written& file)
{
    return file.path + ": " + Lines(file.lines) +
           (file.before > 0 ? " (the file held " + Lines(file.before) + " before)" : "");
}

std::vector<std::string> FlightRun::NotWrittenLines()
{
    const HostFiles& files = Host().files;
    const long long count = files.LinesNotWrittenCount();
    if (count == 0) {
        return {};
    }
    std::vector<std::string> lines = {"lines not written: " + std::to_string(count)};
    for (const auto& lost : files.LinesNotWritten()) {
        lines.push_back("  " + lost.reason + ": " + std::to_string(lost.lines));
    }
    return lines;
}

void FlightRun::PrintSummary(std::ostream& out) const
{
    out << "kestrel-host: flight " << flight_.file.string() << "\n";
    out << "module:  " << module_.Path().filename().string();
    for (const std::string& mode : module_.ModeNames()) {
        out << ", mode " << mode;
    }
    out << "\n";
    out << "date:    " << module_.Date() << "\n";
    out << "version: " << module_.Version() << "\n";
    out << "steps:   " << stepsRun_ << " run, simulated time " << Fixed(Host().world.t, 2) << " s\n";
    for (const std::string& message : messages_) {
        out << "message: " << message << "\n";
    }
    out << "input refused: " << refusals_.size() << "\n";
    for (const Refusal& refusal : refusals_) {
        out << "  " << refusal.title << " <- '" << Printable(refusal.text, kMostShownInput) << "'\n";
    }
    const auto files = Host().files.ModuleFiles();
    out << "data files written: " << files.size() << "\n";
    for (const auto& file : files) {
        out << "  " << DataFileLine(file) << "\n";
    }
    for (const std::string& line : NotWrittenLines()) {
        out << line << "\n";
    }
    if (displayTexts_.empty()) {
        out << "no display open\n";
    }
    for (const std::string& text : displayTexts_) {
        out << text;
    }
}
