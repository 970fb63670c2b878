#pragma once
#include <cstddef>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

namespace ombrix::cpu {

// At most cap bytes of a file; nullopt when it cannot be opened or read.
// With stopAtBlankLine the read ends after the first empty line, which in
// /proc/cpuinfo closes the first processor's block: on some kernels every
// further block costs a clock sample of its core.
std::optional<std::string> readFile(const std::string& path, std::size_t cap,
                                    bool stopAtBlankLine = false);

// The number a one-value file (sysfs) holds.
std::optional<double> readNumberFile(const std::string& path);

// root/cpuN for every processor, in the order of N.
std::vector<std::string> cpuDirectories(const std::string& root);

bool hasCurrentFrequency(const std::string& root);

// The mean of every core's scaling_cur_freq, in MHz. Reading these files can
// take milliseconds per core, so a stop request ends the walk early.
std::optional<double> averageCurrentMHz(const std::string& root, std::stop_token stop = {});

} // namespace ombrix::cpu
