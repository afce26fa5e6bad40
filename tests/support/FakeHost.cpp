#include "tests/support/FakeHost.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

std::string Quote(const char* text)
{
    return text == nullptr ? std::string("null") : std::string(text);
}

} // namespace

FakeHost& FakeHost::Get()
{
    static FakeHost host;
    return host;
}

void FakeHost::Reset()
{
    *this = FakeHost();
}

OBJHANDLE FakeHost::AddObject(const std::string& name, double pitchRadians)
{
    FakeObject& object = objects_[name];
    object.name = name;
    object.pitchRadians = pitchRadians;
    return &object;
}

void FakeHost::RemoveObject(const std::string& name)
{
    if (focus == Handle(name)) {
        focus = nullptr;
    }
    objects_.erase(name);
}

void FakeHost::SetPitch(const std::string& name, double pitchRadians)
{
    objects_.at(name).pitchRadians = pitchRadians;
}

OBJHANDLE FakeHost::Handle(const std::string& name) const
{
    const auto it = objects_.find(name);
    return it == objects_.end() ? nullptr : const_cast<FakeObject*>(&it->second);
}

int FakeHost::CallCount(const std::string& operation) const
{
    return static_cast<int>(std::count_if(calls.begin(), calls.end(), [&](const std::string& call) {
        return call.compare(0, operation.size(), operation) == 0 &&
               (call.size() == operation.size() || call[operation.size()] == '(');
    }));
}

COLORREF RecordingCanvas::SetTextColor(COLORREF newColor)
{
    char text[32];
    std::snprintf(text, sizeof text, "color 0x%06X", static_cast<unsigned>(newColor));
    log.emplace_back(text);
    const COLORREF previous = color;
    color = newColor;
    return previous;
}

BOOL RecordingCanvas::TextOut(int x, int y, const char* text, int length)
{
    log.push_back("text " + std::to_string(x) + " " + std::to_string(y) + " " + std::string(text, static_cast<std::size_t>(length)));
    return TRUE;
}

// ---- the host's operations ----

int oapiRegisterMFDMode(MFDMODESPEC& mode)
{
    FakeHost& host = FakeHost::Get();
    host.Log([&] { return std::string("oapiRegisterMFDMode(" + Quote(mode.name) + ")"); });
    host.registeredModes.push_back(mode);
    return host.registerResult;
}

void oapiUnregisterMFDMode(int modeId)
{
    FakeHost& host = FakeHost::Get();
    host.Log([&] { return std::string("oapiUnregisterMFDMode(" + std::to_string(modeId) + ")"); });
    host.unregisteredModes.push_back(modeId);
}

void InitLib(HINSTANCE module)
{
    FakeHost& host = FakeHost::Get();
    host.Log([&] { return std::string("InitLib"); });
    host.initLibHandles.push_back(module);
}

int Date2Int(const char* date)
{
    FakeHost& host = FakeHost::Get();
    host.Log([&] { return std::string("Date2Int(" + Quote(date) + ")"); });
    host.date2IntTexts.emplace_back(Quote(date));
    return host.date2IntResult;
}

OBJHANDLE oapiGetFocusObject()
{
    FakeHost& host = FakeHost::Get();
    host.Log([&] { return std::string("oapiGetFocusObject"); });
    return host.focus;
}

void oapiGetObjectName(OBJHANDLE object, char* name, int size)
{
    FakeHost& host = FakeHost::Get();
    host.Log([&] { return std::string(object == nullptr ? "oapiGetObjectName(null)" : "oapiGetObjectName"); });
    if (object == nullptr || size <= 0) {
        return;
    }
    const std::string& text = static_cast<FakeObject*>(object)->name;
    const std::size_t n = std::min(text.size(), static_cast<std::size_t>(size - 1));
    std::memcpy(name, text.data(), n);
    name[n] = '\0';
}

OBJHANDLE oapiGetObjectByName(const char* name)
{
    FakeHost& host = FakeHost::Get();
    host.Log([&] { return std::string("oapiGetObjectByName(" + Quote(name) + ")"); });
    return name == nullptr ? nullptr : host.Handle(name);
}

int oapiGetPitch(OBJHANDLE object, double* pitch)
{
    FakeHost& host = FakeHost::Get();
    host.Log([&] { return std::string(object == nullptr ? "oapiGetPitch(null)" : "oapiGetPitch"); });
    if (object == nullptr || pitch == nullptr) {
        return 0;
    }
    *pitch = static_cast<FakeObject*>(object)->pitchRadians;
    return 1;
}

double oapiGetSysMJD()
{
    FakeHost& host = FakeHost::Get();
    host.Log([&] { return std::string("oapiGetSysMJD"); });
    return host.sysMJD;
}

FILEHANDLE oapiOpenFile(const char* path, FileAccessMode mode, PathRoot root)
{
    FakeHost& host = FakeHost::Get();
    host.Log([&] { return std::string("oapiOpenFile(" + Quote(path) + "," + std::to_string(mode) + "," + std::to_string(root) + ")"); });
    if ((mode == FILE_APPEND && host.failAppendOpen) || (mode == FILE_WRITE && host.failWriteOpen)) {
        return nullptr;
    }
    if (!host.recordCalls) {
        return &host; // quiet: files are counted, not stored
    }
    FakeFile& file = host.files[path];
    if (mode == FILE_WRITE) {
        file.lines.clear();
    }
    FILEHANDLE handle = reinterpret_cast<FILEHANDLE>(static_cast<std::intptr_t>(host.nextFile_++));
    host.openFiles_[handle] = path;
    return handle;
}

void oapiWriteLine(FILEHANDLE file, const char* line)
{
    FakeHost& host = FakeHost::Get();
    host.Log([&] { return std::string(std::string(file == nullptr ? "oapiWriteLine(null," : "oapiWriteLine(") + Quote(line) + ")"); });
    if (!host.recordCalls) {
        ++host.quietLines;
        return;
    }
    const auto it = host.openFiles_.find(file);
    if (it != host.openFiles_.end()) {
        host.files[it->second].lines.emplace_back(Quote(line));
    }
}

void oapiCloseFile(FILEHANDLE file, FileAccessMode mode)
{
    FakeHost& host = FakeHost::Get();
    host.Log([&] { return std::string(std::string(file == nullptr ? "oapiCloseFile(null," : "oapiCloseFile(") + std::to_string(mode) + ")"); });
    if (host.recordCalls) {
        host.openFiles_.erase(file);
    }
}

bool oapiOpenInputBox(const char* title, InputCallback callback, const char* initialText, int visibleLength,
                      void* userData)
{
    FakeHost& host = FakeHost::Get();
    host.Log([&] { return std::string("oapiOpenInputBox(" + Quote(title) + ")"); });
    host.inputBoxes.push_back(FakeInputBox{Quote(title), callback, initialText, visibleLength, userData});
    return true;
}

void oapiWriteScenario_int(SCENARIOHANDLE /*scenario*/, const char* key, int value)
{
    FakeHost& host = FakeHost::Get();
    host.Log([&] { return std::string("oapiWriteScenario_int(" + Quote(key) + ")"); });
    host.scenarioItems.push_back(FakeScenarioItem{Quote(key), std::to_string(value)});
}

void oapiWriteScenario_string(SCENARIOHANDLE /*scenario*/, const char* key, const char* value)
{
    FakeHost& host = FakeHost::Get();
    host.Log([&] { return std::string("oapiWriteScenario_string(" + Quote(key) + ")"); });
    host.scenarioItems.push_back(FakeScenarioItem{Quote(key), Quote(value)});
}

bool oapiReadScenario_nextline(SCENARIOHANDLE /*scenario*/, char*& line)
{
    FakeHost& host = FakeHost::Get();
    host.Log([&] { return std::string("oapiReadScenario_nextline"); });
    if (host.scenarioLines.empty()) {
        return false;
    }
    host.scenarioLine_ = host.scenarioLines.front();
    host.scenarioLines.pop_front();
    line = host.scenarioLine_.data();
    return true;
}

// ---- the display base class (its default virtuals: host/MfdDefaults.cpp) ----

MFD::MFD(DWORD width, DWORD height, VESSEL* vesselPointer)
    : displayWidth(width), displayHeight(height), charWidth(FakeHost::Get().nextCharWidth),
      charHeight(FakeHost::Get().nextCharHeight), vessel(vesselPointer)
{
    FakeHost::Get().constructedDisplays.push_back(FakeDisplay{this, width, height, vesselPointer});
}

MFD::~MFD() = default;

void MFD::Title(HDC hdc, const char* title) const
{
    if (auto* canvas = dynamic_cast<RecordingCanvas*>(hdc)) {
        canvas->log.push_back("title " + Quote(title));
    }
}

HFONT MFD::SelectDefaultFont(HDC hdc, DWORD index) const
{
    if (auto* canvas = dynamic_cast<RecordingCanvas*>(hdc)) {
        canvas->log.push_back("font " + std::to_string(index));
    }
    return nullptr;
}

void MFD::InvalidateDisplay()
{
    FakeHost::Get().invalidated.push_back(this);
}
