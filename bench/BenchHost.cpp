#include "bench/BenchHost.h"

#include <cstdio>
#include <cstring>

namespace bench_host {
namespace {

char root[256] = ".";
char objectName[256] = {};
double objectPitch = 0.0;
double clockReading = 61381.5;
Counts counts;

// The one object's handle: any fixed non-null address will do.
int objectToken = 0;

} // namespace

void SetRoot(const char* folder)
{
    std::snprintf(root, sizeof root, "%s", folder);
}

const char* Root()
{
    return root;
}

void SetObject(const char* name, double pitchRadians)
{
    std::snprintf(objectName, sizeof objectName, "%s", name);
    objectPitch = pitchRadians;
}

void SetClock(double mjd)
{
    clockReading = mjd;
}

Counts& Counted()
{
    return counts;
}

void Reset()
{
    counts = Counts{};
}

} // namespace bench_host

using namespace bench_host;

// ---- the host's operations ----

int oapiRegisterMFDMode(MFDMODESPEC& /*mode*/)
{
    return 1;
}

void oapiUnregisterMFDMode(int /*modeId*/) {}

void InitLib(HINSTANCE /*module*/) {}

int Date2Int(const char* /*date*/)
{
    return 0;
}

OBJHANDLE oapiGetFocusObject()
{
    return &objectToken;
}

void oapiGetObjectName(OBJHANDLE object, char* name, int size)
{
    if (object == &objectToken && name != nullptr && size > 0) {
        std::snprintf(name, static_cast<std::size_t>(size), "%s", objectName);
    }
}

OBJHANDLE oapiGetObjectByName(const char* name)
{
    ++counts.lookups;
    return name != nullptr && std::strcmp(name, objectName) == 0 ? &objectToken : nullptr;
}

int oapiGetPitch(OBJHANDLE object, double* pitch)
{
    ++counts.pitchReads;
    if (object != &objectToken || pitch == nullptr) {
        return 0;
    }
    *pitch = objectPitch;
    return 1;
}

double oapiGetSysMJD()
{
    ++counts.clockReads;
    return clockReading;
}

FILEHANDLE oapiOpenFile(const char* path, FileAccessMode mode, PathRoot /*root*/)
{
    // The root folder, a '/', then the path with the host's '\' separators
    // turned into '/'.
    char local[512];
    const std::size_t rootLength = std::strlen(root);
    const std::size_t pathLength = std::strlen(path);
    if (rootLength + 1 + pathLength >= sizeof local) {
        ++counts.failedOpens;
        return nullptr;
    }
    std::memcpy(local, root, rootLength);
    local[rootLength] = '/';
    for (std::size_t i = 0; i <= pathLength; ++i) {
        local[rootLength + 1 + i] = path[i] == '\\' ? '/' : path[i];
    }
    std::FILE* file = std::fopen(local, mode == FILE_APPEND ? "a" : "w");
    if (file == nullptr) {
        ++counts.failedOpens;
        return nullptr;
    }
    ++counts.opens;
    return file;
}

void oapiWriteLine(FILEHANDLE file, const char* line)
{
    if (file == nullptr || line == nullptr) {
        return;
    }
    auto* stream = static_cast<std::FILE*>(file);
    std::fputs(line, stream);
    std::fputc('\n', stream);
    ++counts.lines;
}

void oapiCloseFile(FILEHANDLE file, FileAccessMode /*mode*/)
{
    if (file != nullptr) {
        std::fclose(static_cast<std::FILE*>(file));
        ++counts.closes;
    }
}

bool oapiOpenInputBox(const char* /*title*/, InputCallback /*callback*/, const char* /*initialText*/,
                      int /*visibleLength*/, void* /*userData*/)
{
    return false;
}

void oapiWriteScenario_int(SCENARIOHANDLE /*scenario*/, const char* /*key*/, int /*value*/) {}

void oapiWriteScenario_string(SCENARIOHANDLE /*scenario*/, const char* /*key*/, const char* /*value*/) {}

bool oapiReadScenario_nextline(SCENARIOHANDLE /*scenario*/, char*& /*line*/)
{
    return false;
}

// ---- the display base class: the benchmarks open no display (its default
// virtuals: host/MfdDefaults.cpp) ----

MFD::MFD(DWORD width, DWORD height, VESSEL* vesselPointer)
    : displayWidth(width), displayHeight(height), charWidth(8), charHeight(10), vessel(vesselPointer)
{
}

MFD::~MFD() = default;

void MFD::Title(HDC /*hdc*/, const char* /*title*/) const {}
HFONT MFD::SelectDefaultFont(HDC /*hdc*/, DWORD /*index*/) const { return nullptr; }
void MFD::InvalidateDisplay() {}
