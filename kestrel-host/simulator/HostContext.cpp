#include "kestrel-host/simulator/HostContext.h"

HostContext& Host()
{
    static HostContext host;
    return host;
}
