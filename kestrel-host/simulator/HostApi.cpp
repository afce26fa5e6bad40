// The host's operations (host/HostApi.h), exported by this program to the
// module it loads: display modes, the module's handle and its date, vessels
// and time, files, input boxes and scenario items. Each one the module calls
// is traced.
#include "host/HostApi.h"
#include "host/Mfd.h"
#include "kestrel-host/common/HostText.h"
#include "kestrel-host/simulator/HostContext.h"
#include "kestrel-host/simulator/ScenarioHandles.h"
#include "kestrel-host/simulator/Trace.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

std::string Text(const char* text)
{
    return text == nullptr ? std::string("(null)") : std::string(text);
}

std::string ObjectText(const void* handle)
{
    return Host().world.HandleText(handle);
}

} // namespace

int oapiRegisterMFDMode(MFDMODESPEC& request)
{
    HostContext& host = Host();
    RegisteredMode mode;
    mode.id = host.nextModeId++;
    mode.name = Text(request.name);
    mode.key = request.key;
    mode.msgproc = request.msgproc;
    host.modes.push_back(mode);
    TraceLine([&] { return "oapiRegisterMFDMode " + mode.name + " " + Hex(mode.key) + " -> " + std::to_string(mode.id); });
    return mode.id;
}

void oapiUnregisterMFDMode(int modeId)
{
    HostContext& host = Host();
    const auto it = std::find_if(host.modes.begin(), host.modes.end(), [&](const RegisteredMode& m) { return m.id == modeId; });
    const bool known = it != host.modes.end();
    if (known) {
        host.modes.erase(it);
    }
    host.unregistered.push_back(modeId);
    TraceLine([&] { return "oapiUnregisterMFDMode " + std::to_string(modeId) + (known ? "" : " (not registered)"); });
}

void InitLib(HINSTANCE module)
{
    Host().initLibHandles.push_back(module);
    // Whether the handle is the module's own is known once the load returns
    // its handle; the run command traces the comparison then.
}

int Date2Int(const char* date)
{
    Host().date2IntCalls++;
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    int result = 0;
    char month[4] = {};
    int day = 0;
    int year = 0;
    if (date != nullptr && std::sscanf(date, "%3s %d %d", month, &day, &year) == 3) {
        for (int m = 0; m < 12; ++m) {
            if (std::strcmp(month, months[m]) == 0 && day >= 1 && day <= 31 && year >= 0) {
                result = (year % 100) * 10000 + (m + 1) * 100 + day;
            }
        }
    }
    TraceLine([&] { return "Date2Int " + Text(date) + " -> " + std::to_string(result); });
    return result;
}

OBJHANDLE oapiGetFocusObject()
{
    Vessel* focus = Host().world.focus;
    TraceLine([&] { return "oapiGetFocusObject -> " + ObjectText(focus); });
    return focus;
}

void oapiGetObjectName(OBJHANDLE object, char* name, int size)
{
    const Vessel* vessel = Host().world.FromHandle(object);
    TraceLine([&] { return "oapiGetObjectName " + ObjectText(object) + " " + std::to_string(size); });
    if (vessel == nullptr || name == nullptr || size <= 0) {
        return; // no such object: the buffer is left as it was
    }
    const std::size_t n = std::min(vessel->name.size(), static_cast<std::size_t>(size - 1));
    std::memcpy(name, vessel->name.data(), n);
    name[n] = '\0';
}

OBJHANDLE oapiGetObjectByName(const char* name)
{
    Vessel* vessel = name == nullptr ? nullptr : Host().world.Find(name);
    TraceLine([&] { return "oapiGetObjectByName " + Text(name) + " -> " + ObjectText(vessel); });
    return vessel;
}

int oapiGetPitch(OBJHANDLE object, double* pitch)
{
    const World& world = Host().world;
    const Vessel* vessel = world.FromHandle(object);
    if (vessel == nullptr || pitch == nullptr) {
        TraceLine([&] { return "oapiGetPitch " + ObjectText(object) + " -> 0"; });
        return 0; // nothing written
    }
    *pitch = vessel->pitch.At(world.t);
    TraceLine([&] { return "oapiGetPitch " + ObjectText(object) + " -> " + Number(*pitch); });
    return 1;
}

double oapiGetSysMJD()
{
    const double mjd = Host().world.SysMjd();
    TraceLine([&] { return "oapiGetSysMJD -> " + Number(mjd); });
    return mjd;
}

// HostFiles takes the root folder as path root 0.
static_assert(ROOT == 0);

FILEHANDLE oapiOpenFile(const char* path, FileAccessMode mode, PathRoot root)
{
    FILEHANDLE file = Host().files.Open(path, mode, root);
    TraceLine([&] {
        return "oapiOpenFile " + Text(path) + " " + std::to_string(mode) + " " + std::to_string(root) + " -> " +
               (file == nullptr ? "null" : "file");
    });
    return file;
}

void oapiWriteLine(FILEHANDLE file, const char* line)
{
    const bool written = Host().files.WriteLine(file, line);
    TraceLine([&] { return "oapiWriteLine " + Text(line) + (written ? "" : " (no file)"); });
}

void oapiCloseFile(FILEHANDLE file, FileAccessMode mode)
{
    const bool closed = Host().files.Close(file);
    TraceLine([&] { return "oapiCloseFile " + std::to_string(mode) + (closed ? "" : " (no file)"); });
}

bool oapiOpenInputBox(const char* title, InputCallback callback, const char* initialText, int visibleLength,
                      void* userData)
{
    TraceLine([&] {
        return "oapiOpenInputBox " + Text(title) + " initial=" + Text(initialText) + " length=" +
               std::to_string(visibleLength);
    });
    Host().inputBoxes.Open(InputBox{Text(title), callback, userData, visibleLength});
    return true;
}

void oapiWriteScenario_int(SCENARIOHANDLE scenario, const char* key, int value)
{
    TraceLine([&] { return "oapiWriteScenario_int " + Text(key) + " " + std::to_string(value); });
    if (scenario != nullptr) {
        static_cast<ScenarioWriter*>(scenario)->items.push_back(Text(key) + " " + std::to_string(value));
    }
}

void oapiWriteScenario_string(SCENARIOHANDLE scenario, const char* key, const char* value)
{
    TraceLine([&] { return "oapiWriteScenario_string " + Text(key) + " " + Text(value); });
    if (scenario != nullptr) {
        static_cast<ScenarioWriter*>(scenario)->items.push_back(Text(key) + " " + Text(value));
    }
}

bool oapiReadScenario_nextline(SCENARIOHANDLE scenario, char*& line)
{
    const bool more = scenario != nullptr && static_cast<ScenarioReader*>(scenario)->NextLine(line);
    TraceLine([&] { return "oapiReadScenario_nextline -> " + (more ? std::string(line) : std::string("(end)")); });
    return more;
}
