#include "ClockMeasure.h"

#include "CpuText.h"

#include <chrono>
#include <cstdint>

namespace ombrix::cpu {
namespace {

constexpr std::uint64_t kAddsPerRound = 32;
constexpr std::uint64_t kRounds = 4000; // 128k cycles: about 50 us at 2.5 GHz

// Register-register adds: a renamer cannot fold them as it may fold adds of
// small constants.
#if defined(__x86_64__)
#define GETCPU_ADD "add %[step], %[x]\n\t"
#define GETCPU_LOOP "dec %[n]\n\tjnz 1b"
#elif defined(__aarch64__)
#define GETCPU_ADD "add %[x], %[x], %[step]\n\t"
#define GETCPU_LOOP "subs %[n], %[n], #1\n\tb.ne 1b"
#endif

#ifdef GETCPU_ADD
#define GETCPU_CAN_MEASURE 1
void spin(std::uint64_t rounds, std::uint64_t step) {
    std::uint64_t x = 0;
    asm volatile("1:\n\t"
                 ".rept 32\n\t" GETCPU_ADD ".endr\n\t" GETCPU_LOOP
                 : [x] "+r"(x), [n] "+r"(rounds)
                 : [step] "r"(step)
                 : "cc");
}
#endif

} // namespace

std::optional<double> measureClockMHz() {
#ifdef GETCPU_CAN_MEASURE
    using Clock = std::chrono::steady_clock;
    spin(kRounds / 4, 1); // wake the core up
    double best = 0;
    // An interrupt only ever slows a round down, so the fastest round counts.
    for (int round = 0; round < 4; ++round) {
        const auto start = Clock::now();
        spin(kRounds, 1);
        const std::chrono::duration<double, std::micro> elapsed = Clock::now() - start;
        if (elapsed.count() > 0) {
            const double mhz = double(kRounds * kAddsPerRound) / elapsed.count();
            if (mhz > best)
                best = mhz;
        }
    }
    if (plausibleMHz(best))
        return best;
#endif
    return std::nullopt;
}

} // namespace ombrix::cpu
