#pragma once
#include <cstddef>
#include <string>

namespace ombrix::platform {

// The text of a small configuration or state file, at most maxBytes of it;
// empty when it cannot be read.
std::string readTextFile(const std::string& path, std::size_t maxBytes = 1 << 20);

} // namespace ombrix::platform
