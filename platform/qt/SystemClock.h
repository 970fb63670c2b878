#pragma once
#include "platform/Clock.h"

namespace ombrix::platform {

class SystemClock final : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

} // namespace ombrix::platform
