// The signals a run answers. SIGINT (Ctrl-C) and SIGTERM are caught, so the
// run stops between two steps with the module unloaded and its files
// closed, says where it stopped, and the program then ends by that signal,
// as a shell expects of it (on Windows, where that would read as exit code
// 3, with exit code 2). A second one ends the program at once. SIGXFSZ is
// ignored: a write beyond the largest file the process may write then fails,
// and its line is counted as not written, instead of ending the program.
#pragma once

void CatchInterrupts();
// The signal caught, 0 while none.
int Interruption();
// "SIGINT", "SIGTERM"
const char* SignalName(int signal);
[[noreturn]] void EndByInterruption(int signal);
