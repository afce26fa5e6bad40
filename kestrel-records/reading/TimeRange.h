// The earliest and the latest time of a record's lines: each line's start
// and its end (start + span), the finite ones, compared and shown exactly as
// the lines print them. The doubles they read as are no good for that: past
// 16 digits or so they are rounded (11111111111111111.0 reads as
// 11111111111111112), and a start plus a span is rounded again.
#pragma once

#include "kestrel-records/reading/DataLine.h"

#include <cmath>
#include <cstdint>
#include <string>

class TimeRange {
public:
    // Takes the finite times of a data line.
    void Take(const DataLine& line)
    {
        if (!std::isfinite(line.startTime)) {
            return; // and so is its end
        }
        const bool spanFinite = std::isfinite(line.span);
        if (inTenths_ && line.startTimeTenths != kNoTenths && (line.spanTenths != kNoTenths || !spanFinite)) {
            TakeTenths(line.startTimeTenths, line.startTime, line.startTimeText[0] == '-');
            if (spanFinite) {
                TakeTenths(line.startTimeTenths + line.spanTenths, line.startTime + line.span, false);
            }
            return;
        }
        TakeDecimals(line);
    }

    bool Any() const { return any_; }
    // The times as doubles.
    double Earliest() const { return earliest_.value; }
    double Latest() const { return latest_.value; }
    // The times with one decimal: a line's start as it prints it, an end as
    // its start and span add up exactly.
    std::string EarliestText() const;
    std::string LatestText() const;

private:
    // A time; while every time is below 10^17 s, in tenths of a second,
    // otherwise as the decimal `text` (tenths unused).
    struct Time {
        std::int64_t tenths = 0;
        bool minusZero = false; // a start printed as -0.0
        double value = 0;
        std::string text;
    };

    void TakeTenths(std::int64_t tenths, double value, bool minus)
    {
        if (!any_) {
            any_ = true;
            Set(earliest_, tenths, value, minus);
            Set(latest_, tenths, value, minus);
        } else if (tenths < earliest_.tenths) {
            Set(earliest_, tenths, value, minus);
        } else if (tenths > latest_.tenths) {
            Set(latest_, tenths, value, minus);
        }
    }
    static void Set(Time& time, std::int64_t tenths, double value, bool minus)
    {
        time.tenths = tenths;
        time.minusZero = minus && tenths == 0;
        time.value = value;
    }
    // Times of 10^17 s or more, and every time after one.
    void TakeDecimals(const DataLine& line);
    void TakeDecimal(std::string text, double value);

    bool any_ = false;
    bool inTenths_ = true;
    Time earliest_;
    Time latest_;
};
