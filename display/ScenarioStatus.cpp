// The display mode's block in the host's scenario files: the recording
// switch, the interval and the vessel name.
#include "display/KestrelScribeMFD.h"

#include "recorder/RecorderState.h"
#include "text/FormatText.h"
#include "text/ScanText.h"

#include <charconv>
#include <cstring>

namespace {

// Whether the line starts with the three-letter key, ASCII letters folded.
bool HasKey(const char* line, const char (&key)[4])
{
    for (int i = 0; i < 3; ++i) {
        char c = line[i];
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
        if (c != key[i]) {
            return false; // also at the terminator of a short line
        }
    }
    return true;
}

} // namespace

void KestrelScribeMFD::WriteToScenario(SCENARIOHANDLE scenario)
{
    oapiWriteScenario_int(scenario, "REC", recorder.recording);

    // The interval goes with two decimals. A cut number would restore as
    // another interval, so one whose two-decimal text is too long for the
    // line (only a scenario can have set such a value) goes in the shortest
    // exponent form that reads back as the very same double instead: at most
    // 24 characters for any double, and always '.' whatever the locale.
    char interval[256];
    if (FormatText(interval, sizeof interval, "%0.2f", recorder.interval) >= sizeof interval) {
        const auto written = std::to_chars(interval, interval + sizeof interval - 1, recorder.interval,
                                           std::chars_format::scientific);
        *written.ptr = '\0';
    }
    oapiWriteScenario_string(scenario, "INT", interval);

    // The value is read back as one word, so blanks travel as '&'. A control
    // character would end the host's line (and could start items of its own)
    // or end the word on reading: each is written as '_'.
    char name[256];
    std::memcpy(name, recorder.vesselName, sizeof name);
    name[sizeof name - 1] = '\0';
    for (char* p = name; *p != '\0'; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c == ' ') {
            *p = '&';
        } else if (c < 0x20 || c == 0x7F) {
            *p = '_';
        }
    }
    oapiWriteScenario_string(scenario, "VES", name);
}

void KestrelScribeMFD::ReadFromScenario(SCENARIOHANDLE scenario)
{
    char* line = nullptr;
    while (oapiReadScenario_nextline(scenario, line)) {
        if (line == nullptr) {
            continue;
        }
        // Values are taken as read, with no range check; a value that
        // cannot be read leaves its field as it was.
        if (HasKey(line, "REC")) {
            ScanInt(line + 3, recorder.recording);
        } else if (HasKey(line, "INT")) {
            ScanDouble(line + 3, recorder.interval);
        } else if (HasKey(line, "VES")) {
            ScanWord(line + 3, recorder.vesselName, sizeof recorder.vesselName);
        }
    }
    for (char& c : recorder.vesselName) {
        if (c == '&') {
            c = ' ';
        }
    }
}
