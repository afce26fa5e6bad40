#include "kestrel-host/HostReset.h"

#include "kestrel-host/HostContext.h"
#include "kestrel-host/Trace.h"

#include <clocale>

void ResetHost()
{
    Host() = HostContext{};
    TheTrace() = Trace{}; // the old trace file is closed here
    std::setlocale(LC_ALL, "C");
}
