#pragma once
#include <optional>

namespace ombrix::cpu {

// The clock the calling core runs at now, in MHz, timed over a chain of
// dependent additions (one cycle each on every x86-64 and AArch64 core).
// Takes well under a millisecond; nullopt on other architectures.
std::optional<double> measureClockMHz();

} // namespace ombrix::cpu
