#pragma once
#include <QDateTime>

namespace ombrix::platform {

class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0; // local time
};

} // namespace ombrix::platform
