#include "kestrel-records/watch/FolderWake.h"

#include <chrono>
#include <thread>

// Windows: polling. A wait runs out, and the folder is looked at again.
FolderWake::FolderWake(std::string folder) : folder_(std::move(folder)) {}

FolderWake::~FolderWake() = default;

void FolderWake::Wait(int most)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(most));
}
