#include "kestrel-host/simulator/HostReset.h"

#include "kestrel-host/simulator/HostContext.h"
#include "kestrel-host/simulator/Trace.h"

#include <clocale>

void ResetHost()
{
    Host() = HostContext{};
    TheTrace() = Trace{}; // the old trace file is closed here
    std::setlocale(LC_ALL, "C");
}
