#include "kestrel-records/watch/FolderWake.h"

#include <chrono>
#include <thread>

#ifdef __linux__
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>
#endif

FolderWake::FolderWake(std::string folder) : folder_(std::move(folder))
{
#ifdef __linux__
    handle_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
#endif
}

FolderWake::~FolderWake()
{
#ifdef __linux__
    if (handle_ >= 0) {
        close(handle_);
    }
#endif
}

void FolderWake::Wait(int most)
{
#ifdef __linux__
    if (handle_ >= 0) {
        if (watch_ < 0) {
            // The folder may come only later: until then, polling.
            watch_ = inotify_add_watch(handle_, folder_.c_str(),
                                       IN_MODIFY | IN_CLOSE_WRITE | IN_CREATE | IN_DELETE | IN_MOVED_FROM |
                                           IN_MOVED_TO | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR);
        }
        if (watch_ >= 0) {
            pollfd wake{handle_, POLLIN, 0};
            if (poll(&wake, 1, most) > 0) {
                alignas(inotify_event) char events[4096];
                bool gone = false;
                ssize_t got;
                while ((got = read(handle_, events, sizeof events)) > 0) {
                    for (char* at = events; at < events + got;) {
                        const auto* event = reinterpret_cast<const inotify_event*>(at);
                        gone = gone || (event->mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF)) != 0;
                        at += sizeof(inotify_event) + event->len;
                    }
                }
                if (gone) {
                    inotify_rm_watch(handle_, watch_);
                    watch_ = -1; // watched again once it is back
                }
            }
            return;
        }
    }
#endif
    std::this_thread::sleep_for(std::chrono::milliseconds(most));
}
