// A plug-in that calls the host's file and name operations as its focus
// vessel's name tells it, with arguments the real module never passes (a
// ".." part, an absolute path, write mode, another path root, a small name
// buffer), so that tests can hold the host to its side of them. At its first
// step it reads the name and runs its commands, separated by ';'; a '|'
// ends the commands of one step, and those after it run at the next step:
//
//   open PATH MODE ROOT   oapiOpenFile(PATH, MODE, ROOT); the file in hand
//   write TEXT            oapiWriteLine(the file in hand, TEXT)
//   close                 oapiCloseFile(the file in hand, its mode)
//   name SIZE             oapiGetObjectName(focus, buffer, SIZE) into a buffer
//                         of '#', then writes to the file in hand what the
//                         name holds, '|' and the 8 bytes after SIZE, and
//                         "|touched before" when a byte of the 8 before the
//                         buffer changed
#include "host/HostApi.h"
#include "module/ModuleExport.h"

#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::size_t step = 0;

void Run(const std::string& script)
{
    FILEHANDLE file = nullptr;
    FileAccessMode mode = FILE_APPEND;
    std::istringstream commands(script);
    std::string command;
    while (std::getline(commands, command, ';')) {
        std::istringstream words(command);
        std::string verb;
        words >> verb;
        if (verb == "open") {
            std::string path;
            int fileMode = 0, root = 0;
            words >> path >> fileMode >> root;
            mode = static_cast<FileAccessMode>(fileMode);
            file = oapiOpenFile(path.c_str(), mode, static_cast<PathRoot>(root));
        } else if (verb == "write") {
            std::string text;
            std::getline(words >> std::ws, text);
            oapiWriteLine(file, text.c_str());
        } else if (verb == "close") {
            oapiCloseFile(file, mode);
        } else if (verb == "name") {
            int size = 0;
            words >> size;
            std::vector<char> guarded(static_cast<std::size_t>(size) + 16, '#');
            char* buffer = guarded.data() + 8;
            oapiGetObjectName(oapiGetFocusObject(), buffer, size);
            const std::string kept(buffer, strnlen(buffer, static_cast<std::size_t>(size)));
            const std::string after(buffer + size, 8);
            const bool touched = std::string(guarded.data(), 8) != std::string(8, '#');
            oapiWriteLine(file, (kept + "|" + after + (touched ? "|touched before" : "")).c_str());
        }
    }
}

} // namespace

MODULE_EXPORT void MODULE_CDECL InitModule(HINSTANCE /*module*/) {}
MODULE_EXPORT void MODULE_CDECL ExitModule(HINSTANCE /*module*/) {}
MODULE_EXPORT const char* MODULE_CDECL ModuleDate() { return "Aug 30 2010"; }
MODULE_EXPORT int MODULE_CDECL GetModuleVersion() { return 1; }

MODULE_EXPORT void MODULE_CDECL opcPreStep(double /*simt*/, double /*simdt*/, double /*mjd*/)
{
    std::vector<char> script(1 << 16);
    oapiGetObjectName(oapiGetFocusObject(), script.data(), static_cast<int>(script.size()));
    // This step's part of the script.
    const std::string whole = script.data();
    std::size_t start = 0;
    for (std::size_t i = 0; i < step && start != std::string::npos; ++i) {
        start = whole.find('|', start);
        start = start == std::string::npos ? start : start + 1;
    }
    ++step;
    if (start != std::string::npos) {
        Run(whole.substr(start, whole.find('|', start) - start));
    }
}
