// The host's multi-function displays by name, as flights and scenario files
// name them: "left" (identifier 0), "right" (1) and "user1" to "user10" (2
// to 11).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

std::optional<std::uint32_t> DisplayIdOf(const std::string& name);
std::string KnownDisplayNames();
