// A problem with what kestrel-host was given (flight file, scenario, module,
// data file): reported as one message, and the program exits with code 2.
#pragma once

#include <stdexcept>
#include <string>

struct HostError : std::runtime_error {
    using std::runtime_error::runtime_error;
};
