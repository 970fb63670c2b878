#pragma once
#include <stdexcept>
#include <string>

namespace ombrix::platform {

// A failure that no handler catches: it reaches the application's error report,
// which names it in a message box and ends the program.
class PlatformError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace ombrix::platform
