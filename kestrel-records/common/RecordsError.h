// A problem with the user's input or an output, as a message that names the
// file and the problem; the command prints it and exits with code 2.
#pragma once

#include <stdexcept>
#include <string>

class RecordsError : public std::runtime_error {
public:
    explicit RecordsError(const std::string& message) : std::runtime_error(message) {}
};
