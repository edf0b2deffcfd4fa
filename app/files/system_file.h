#pragma once
// System files: a person's own initial conditions, {"c": ..., "bodies": [{"m", "x", "y",
// "vx", "vy"}, ...]}, G = 1. Strict: every key known and given, every number a finite JSON
// number, 1 to kMaxBodies bodies, masses > 0, c >= 0.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "core/physics/model.h"

namespace gravlag {

inline constexpr std::size_t kMaxSystemFileBytes = 1024 * 1024;

// The system, or no value and `problem` naming the key that is wrong.
std::optional<System> ParseSystemFile(std::string_view text, std::string& problem);
// The same for a small regular file (as parameter files are read).
std::optional<System> LoadSystemFile(const std::string& path, std::string& problem);

} // namespace gravlag
