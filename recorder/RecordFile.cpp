#include "recorder/RecordFile.h"

#include "host/HostApi.h"
#include "recorder/RecorderState.h"
#include "text/FormatText.h"

namespace {

bool IsUnsafeInFileName(unsigned char c)
{
    switch (c) {
    case '\\':
    case '/':
    case ':':
    case '*':
    case '?':
    case '"':
    case '<':
    case '>':
    case '|':
        return true;
    default:
        return c < 0x20 || c == 0x7F; // the control characters
    }
}

} // namespace

bool BuildRecordFileName(char* out, std::size_t size, const char* vesselName, int stamp)
{
    char safeName[256];
    std::size_t n = 0;
    for (; vesselName[n] != '\0' && n + 1 < sizeof safeName; ++n) {
        const auto c = static_cast<unsigned char>(vesselName[n]);
        safeName[n] = IsUnsafeInFileName(c) ? '_' : static_cast<char>(c);
    }
    safeName[n] = '\0';
    const std::size_t length = FormatText(out, size, "%s%s_%d.txt", kDataFolderPrefix, safeName, stamp);
    if (length >= size) {
        out[0] = '\0';
        return false;
    }
    return true;
}

bool FormatRecordLine(char* out, std::size_t size, double lastTime, double lastPitch, double pitch, double span)
{
    const std::size_t length = FormatText(out, size, "%0.1f=pitch(%0.2f, %0.2f, %0.1f)", lastTime, lastPitch, pitch, span);
    return length < size;
}

bool AppendRecordLine()
{
    char name[kRecordTextSize];
    char line[kRecordTextSize];
    // A cut name could name another file, and a cut line is a wrong record:
    // neither is written.
    if (!BuildRecordFileName(name, sizeof name, recorder.vesselName, recorder.fileStamp) ||
        !FormatRecordLine(line, sizeof line, recorder.lastTime, recorder.lastPitch, recorder.pitch,
                          recorder.span)) {
        return false;
    }
    FileAccessMode mode = FILE_APPEND;
    FILEHANDLE file = oapiOpenFile(name, mode, ROOT);
    if (file == nullptr) {
        mode = FILE_WRITE;
        file = oapiOpenFile(name, mode, ROOT);
    }
    if (file == nullptr) {
        return false; // the line is lost; the next sample tries afresh
    }
    oapiWriteLine(file, line);
    oapiCloseFile(file, mode);
    return true;
}
