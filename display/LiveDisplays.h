// Which display instances still exist. An input box can be answered after
// the host has deleted the display that opened it; its callback must then
// leave that display alone.
#pragma once

class KestrelScribeMFD;

void AddLiveDisplay(const KestrelScribeMFD* display);
void RemoveLiveDisplay(const KestrelScribeMFD* display);
// The live display at `address`, or null when none lives there.
KestrelScribeMFD* FindLiveDisplay(const void* address);
