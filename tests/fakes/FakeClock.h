#pragma once
#include "platform/Clock.h"

struct FakeClock final : ombrix::platform::Clock {
    QDateTime current = QDateTime(QDate(2026, 1, 1), QTime(0, 0));
    QDateTime now() const override { return current; }
};
