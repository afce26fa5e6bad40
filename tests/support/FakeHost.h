// A test double of the host: implements every host operation the module
// calls, records each call, and answers with values a test sets up. Lets the
// module's code be tested in-process, with no host program.
#pragma once

#include "host/Mfd.h"

#include <deque>
#include <map>
#include <string>
#include <vector>

struct FakeObject {
    std::string name;
    double pitchRadians = 0.0;
};

struct FakeInputBox {
    std::string title;
    InputCallback callback = nullptr;
    const char* initialText = nullptr;
    int visibleLength = 0;
    void* userData = nullptr;
};

struct FakeScenarioItem {
    std::string key;
    std::string value;
    bool operator==(const FakeScenarioItem&) const = default;
};

struct FakeFile {
    std::vector<std::string> lines;
};

// A display the module constructed: what it handed to the MFD base.
struct FakeDisplay {
    const MFD* display = nullptr;
    DWORD width = 0;
    DWORD height = 0;
    VESSEL* vessel = nullptr;
};

class FakeHost {
public:
    // The one fake host of the test process; Reset() before each test.
    static FakeHost& Get();
    void Reset();

    // Adds an object; returns its handle. The name must be new.
    OBJHANDLE AddObject(const std::string& name, double pitchRadians);
    void RemoveObject(const std::string& name);
    void SetPitch(const std::string& name, double pitchRadians);
    OBJHANDLE Handle(const std::string& name) const;

    // Counts of calls by operation name ("oapiGetSysMJD", ...).
    int CallCount(const std::string& operation) const;
    void ClearCalls() { calls.clear(); }

    // Records a call unless recording is off; `describe` makes its text, and
    // is not run at all when recording is off (so the fake allocates nothing).
    template <typename Describe>
    void Log(Describe describe)
    {
        ++callTotal;
        if (recordCalls) {
            calls.push_back(describe());
        }
    }

    // --- what the host answers ---
    OBJHANDLE focus = nullptr;
    double sysMJD = 61381.5;
    bool failAppendOpen = false;
    bool failWriteOpen = false;
    int registerResult = 7;
    int date2IntResult = 100830;
    std::deque<std::string> scenarioLines; // read back by oapiReadScenario_nextline

    // --- what the module did ---
    std::vector<std::string> calls; // each call: operation name and arguments
    bool recordCalls = true;
    long callTotal = 0; // every call, recorded or not
    long quietLines = 0; // lines written while recording was off (not stored)
    std::map<std::string, FakeFile> files;
    std::vector<FakeInputBox> inputBoxes;
    std::vector<FakeScenarioItem> scenarioItems;
    std::vector<const MFD*> invalidated;
    std::vector<FakeDisplay> constructedDisplays;
    std::vector<MFDMODESPEC> registeredModes;
    std::vector<int> unregisteredModes;
    std::vector<HINSTANCE> initLibHandles;
    std::vector<std::string> date2IntTexts;

    // Character cell of displays constructed from now on.
    DWORD nextCharWidth = 8;
    DWORD nextCharHeight = 10;

private:
    std::map<std::string, FakeObject> objects_;
    std::map<FILEHANDLE, std::string> openFiles_;
    int nextFile_ = 1;
    std::string scenarioLine_;

    friend FILEHANDLE oapiOpenFile(const char*, FileAccessMode, PathRoot);
    friend void oapiWriteLine(FILEHANDLE, const char*);
    friend void oapiCloseFile(FILEHANDLE, FileAccessMode);
    friend bool oapiReadScenario_nextline(SCENARIOHANDLE, char*&);
};

// A device context that records the drawing calls, one line each:
// "title <text>", "font <index>", "color 0x%06X", "text <x> <y> <text>".
class RecordingCanvas : public DeviceContext {
public:
    COLORREF SetTextColor(COLORREF color) override;
    BOOL TextOut(int x, int y, const char* text, int length) override;

    std::vector<std::string> log;
    COLORREF color = 0;
};
