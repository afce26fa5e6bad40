// The summary a run prints at its end: the module, the steps, the input-box
// answers the module refused, the data files written and the open displays
// drawn as text.
#include "kestrel-host/commands/FlightRun.h"

#include "kestrel-host/common/HostText.h"

namespace {

// An answer may be any length: the summary shows its first characters.
constexpr std::size_t kMostShownInput = 80;

} // namespace

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
        out << "  " << file.path << ": " << file.lines << (file.lines == 1 ? " line" : " lines") << "\n";
    }
    if (displayTexts_.empty()) {
        out << "no display open\n";
    }
    for (const std::string& text : displayTexts_) {
        out << text;
    }
}
