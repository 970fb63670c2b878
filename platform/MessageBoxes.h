#pragma once
#include <QString>

namespace ombrix::platform {

// The one seam for message boxes, so tests can see them without blocking.
class MessageBoxes {
public:
    enum class Icon { None, Critical };
    virtual ~MessageBoxes() = default;
    // Modal: returns when the user has closed the box (OK only).
    virtual void show(const QString& caption, const QString& text, Icon icon) = 0;
};

} // namespace ombrix::platform
