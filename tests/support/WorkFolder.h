// Folders for the files a test writes. Each test has one of its own,
// named after the test and the test program's process id:
//
//   build/<preset>/test-work/SUITE.TEST.PID   (in a suite's set-up: SUITE.PID)
//
// so tests run at the same time (ctest -j, a test program per test) never
// share or empty each other's files. A test's folder is removed when the
// test passes; when it fails it is kept, and the test's output ends with
// "kept the files of SUITE.TEST in PATH".
#pragma once

#include <filesystem>
#include <string>

// The running test's own folder, made empty; with a `name`, the folder of
// that name inside it, made empty (a test that needs several).
std::filesystem::path FreshFolder(const std::string& name = "");
