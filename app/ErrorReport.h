#pragma once
#include <QString>

#include <exception>

namespace ombrix {
namespace platform {
class MessageBoxes;
}

// The default error report: a message box naming the error, captioned with
// the application title. The caller then ends the program with this status.
inline constexpr int kErrorExitStatus = 1;
QString describeError(const std::exception_ptr& error);
void reportError(platform::MessageBoxes& boxes, const std::exception_ptr& error);

} // namespace ombrix
