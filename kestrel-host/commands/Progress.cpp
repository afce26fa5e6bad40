#include "kestrel-host/commands/Progress.h"

#include "kestrel-host/common/HostText.h"

#include <cstdlib>
#include <string>

namespace {

constexpr double kDefaultAfter = 2.0;
constexpr auto kRedraw = std::chrono::milliseconds(500);

std::string Rate(double count, double seconds)
{
    return std::to_string(static_cast<long long>(seconds > 0 ? count / seconds : 0.0));
}

} // namespace

Progress::Progress(long totalSteps, std::FILE* out, bool terminal, double afterSeconds)
    : total_(totalSteps), out_(out), terminal_(terminal), after_(afterSeconds), start_(Clock::now())
{
    nextDraw_ = start_ + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(after_));
}

double Progress::ThresholdFromEnvironment()
{
    const char* text = std::getenv("KESTREL_PROGRESS_AFTER");
    if (text == nullptr || *text == '\0') {
        return kDefaultAfter;
    }
    char* end = nullptr;
    const double seconds = std::strtod(text, &end);
    return (*end == '\0' && seconds >= 0 && seconds < 1e9) ? seconds : kDefaultAfter;
}

void Progress::Look(long done, double simulatedTime, long long lines, bool last)
{
    sinceLook_ = 0;
    const Clock::time_point now = Clock::now();
    const double seconds = std::chrono::duration<double>(now - start_).count();
    if (last) {
        if (seconds < after_) {
            return; // a short run shows nothing
        }
    } else if (!terminal_ || now < nextDraw_) {
        return;
    }
    nextDraw_ = now + kRedraw;
    std::string text = Text(done, simulatedTime, lines, seconds, last);
    if (terminal_) {
        // Over the line drawn before: blanks out what the new one does not cover.
        const std::size_t length = text.size();
        if (length < drawnLength_) {
            text.append(drawnLength_ - length, ' ');
        }
        drawnLength_ = length;
        text = "\r" + text;
    }
    if (last) {
        text += "\n";
    }
    std::fputs(text.c_str(), out_);
    std::fflush(out_);
}

void Progress::End(long done, double simulatedTime, long long lines)
{
    if (ended_) {
        return;
    }
    ended_ = true;
    Look(done, simulatedTime, lines, true);
}

void Progress::Clear()
{
    ended_ = true;
    if (terminal_ && drawnLength_ > 0) {
        std::fputs(("\r" + std::string(drawnLength_, ' ') + "\r").c_str(), out_);
        std::fflush(out_);
        drawnLength_ = 0;
    }
}

std::string Progress::Text(long done, double simulatedTime, long long lines, double seconds, bool last) const
{
    const std::string time = Fixed(simulatedTime, 2);
    const std::string written = std::to_string(lines) + (lines == 1 ? " line" : " lines") + " written";
    if (last) {
        return "kestrel-host: " + std::to_string(done) + " of " + std::to_string(total_) + " steps in " +
               Fixed(seconds, 1) + " s (" + Rate(static_cast<double>(done), seconds) + " steps/s), simulated time " +
               time + " s, " + written;
    }
    const double share = total_ > 0 ? 100.0 * static_cast<double>(done) / static_cast<double>(total_) : 100.0;
    return "kestrel-host: step " + std::to_string(done) + " of " + std::to_string(total_) + " (" + Fixed(share, 1) +
           " %), simulated time " + time + " s, " + written + ", " + Rate(static_cast<double>(done), seconds) +
           " steps/s";
}
