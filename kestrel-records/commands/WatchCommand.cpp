// kestrel-records watch: the records of a folder live in a browser.
#include "kestrel-records/commands/Commands.h"
#include "kestrel-records/common/RecordsError.h"
#include "kestrel-records/watch/FolderWake.h"
#include "kestrel-records/watch/WatchServer.h"
#include "kestrel-records/watch/WatchedFolder.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <thread>

#ifndef _WIN32
#include <spawn.h>
#include <sys/wait.h>
extern char** environ;
#endif

namespace {

volatile std::sig_atomic_t interrupted = 0;

extern "C" void OnWatchInterrupted(int)
{
    interrupted = 1;
}

// The user's browser on `url`, as the desktop starts it; a note when it
// cannot be started (the URL is printed anyway).
void OpenBrowser(const std::string& url, std::ostream& err)
{
#ifdef _WIN32
    // The URL is our own (an address and a port), nothing to quote in it.
    const std::string command = "start \"\" \"" + url + "\"";
    if (std::system(command.c_str()) != 0) {
        err << "kestrel-records: watch: could not start the browser; open " << url << "\n";
    }
#else
    pid_t child = 0;
    char program[] = "xdg-open";
    std::string target = url;
    char* arguments[] = {program, target.data(), nullptr};
    if (posix_spawnp(&child, program, nullptr, nullptr, arguments, environ) != 0) {
        err << "kestrel-records: watch: could not start xdg-open; open " << url << "\n";
        return;
    }
    // xdg-open hands the URL to the browser and ends; it is waited for on
    // a thread of its own, so that it leaves no zombie.
    std::thread([child] {
        int status = 0;
        waitpid(child, &status, 0);
    }).detach();
#endif
}

} // namespace

int WatchCommand(const WatchOptions& options, std::ostream& out, std::ostream& err)
{
    try {
        if (options.port < 0 || options.port > 65535) {
            throw RecordsError("--port " + std::to_string(options.port) + ": a port is a number from 0 to 65535");
        }
        const std::string address = options.bind.value_or("127.0.0.1");
        WatchedFolder folder(options.folder);
        bool more = false;
        folder.Pass(more); // the files there now are listed before the first page asks
        WatchServer server(folder);
        const int port = server.Bind(address, options.port);
        const bool v6 = address.find(':') != std::string::npos;
        const std::string url = "http://" + (v6 ? "[" + address + "]" : address) + ":" + std::to_string(port) + "/";
        if (!IsLoopback(address)) {
            err << "kestrel-records: watch: warning: listening on " << address
                << ", not only on this computer: anyone who can reach that address can read these records\n";
        }
        out << "kestrel-records: watching " << options.folder << (folder.Exists() ? "" : " (not there yet: waiting for it)")
            << " at " << url << " (Ctrl-C ends it)" << std::endl;
        std::signal(SIGINT, OnWatchInterrupted);
        std::signal(SIGTERM, OnWatchInterrupted);
        std::thread serving([&server] { server.Run(); });
        std::atomic<bool> stop{false};
        std::thread following([&] {
            FolderWake wake(options.folder);
            while (!stop) {
                const auto began = std::chrono::steady_clock::now();
                bool again = false;
                folder.Pass(again);
                if (again) {
                    continue; // a long file being read: on with it
                }
                wake.Wait(100);
                // One pass in 100 ms at most: a file written line by line
                // wakes the folder at each line, and one pass takes them all.
                std::this_thread::sleep_until(began + std::chrono::milliseconds(100));
            }
        });
        if (options.open) {
            OpenBrowser(url, err);
        }
        while (!interrupted) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        stop = true;
        server.Stop();
        serving.join();
        following.join();
        out << "kestrel-records: watch ended; nothing was written" << std::endl;
        return 0;
    } catch (const RecordsError& e) {
        err << "kestrel-records: watch: " << e.what() << "\n";
        return 2;
    }
}
