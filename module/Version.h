// The module's version, in one place: the release number names the package
// and fills the DLL's version resource (module/KestrelScribeMFD.rc), and the
// date is what GetModuleVersion hands to the host's Date2Int. CMake reads
// the release number from here too, so this file is the only one to change
// for a release. Plain macros, as the resource compiler reads this header.
#pragma once

#define KESTREL_VERSION_MAJOR 1
#define KESTREL_VERSION_MINOR 2
#define KESTREL_VERSION_TEXT "1.2"

// The host knows the module's version as this date, turned into a number by
// Date2Int (yymmdd); it stays the same from release to release.
#define KESTREL_MODULE_VERSION_DATE "Aug 30 2010"
