// What a long run shows while it goes, on standard error: after about two
// seconds, a line that is redrawn twice a second when standard error is a
// terminal (steps done of the total, simulated time, lines written, the
// rate), and at the end one summary line of the same facts, also when it is
// not a terminal. Standard output, where the run's summary goes, never gets
// any of it.
//
// KESTREL_PROGRESS_AFTER=SECONDS sets the two seconds to something else (0:
// every run shows it), for tests and scripts.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

class Progress {
public:
    Progress(long totalSteps, std::FILE* out, bool terminal, double afterSeconds);

    // After each step; looks at the clock only every so many steps.
    void Step(long done, double simulatedTime, long long lines)
    {
        if (++sinceLook_ >= kStepsPerLook) {
            Look(done, simulatedTime, lines, false);
        }
    }
    // Once, when the run ends or stops: the last line.
    void End(long done, double simulatedTime, long long lines);
    // When a run is interrupted: takes back the line drawn on the terminal,
    // if any, so that what the run says next starts a line of its own.
    void Clear();

    // The two seconds, or KESTREL_PROGRESS_AFTER when it holds a number of
    // seconds (0 or more).
    static double ThresholdFromEnvironment();

private:
    using Clock = std::chrono::steady_clock;
    static constexpr long kStepsPerLook = 1024;

    void Look(long done, double simulatedTime, long long lines, bool last);
    std::string Text(long done, double simulatedTime, long long lines, double seconds, bool last) const;

    long total_;
    std::FILE* out_;
    bool terminal_;
    double after_;
    Clock::time_point start_;
    Clock::time_point nextDraw_;
    long sinceLook_ = 0;
    std::size_t drawnLength_ = 0; // of the line on the terminal now
    bool ended_ = false;
};
