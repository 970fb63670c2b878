#include "CpuFiles.h"

#include "CpuText.h"
#include "platform/linux/KernelFile.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <unistd.h>
#include <utility>

namespace ombrix::cpu {
namespace {

struct DirCloser {
    void operator()(DIR* d) const { ::closedir(d); }
};

} // namespace

std::optional<std::string> readFile(const std::string& path, std::size_t cap,
                                    bool stopAtBlankLine) {
    std::string text;
    if (!platform::KernelFile(path).readInto(text, cap, stopAtBlankLine ? "\n\n" : ""))
        return std::nullopt;
    return text;
}

std::optional<double> readNumberFile(const std::string& path) {
    const auto text = readFile(path, 64);
    if (!text)
        return std::nullopt;
    const char* begin = text->data();
    const char* end = begin + text->size();
    while (begin < end && (*begin == ' ' || *begin == '\t'))
        ++begin;
    double value = 0;
    auto [stop, ec] = std::from_chars(begin, end, value);
    if (ec != std::errc() || stop == begin || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::vector<std::string> cpuDirectories(const std::string& root) {
    std::vector<std::pair<unsigned, std::string>> found;
    std::unique_ptr<DIR, DirCloser> dir(::opendir(root.c_str()));
    if (!dir)
        return {};
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view name(entry->d_name);
        if (name.size() < 4 || name.substr(0, 3) != "cpu")
            continue;
        unsigned index = 0;
        auto [end, ec] = std::from_chars(name.data() + 3, name.data() + name.size(), index);
        if (ec == std::errc() && end == name.data() + name.size())
            found.emplace_back(index, root + "/" + std::string(name));
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> paths;
    paths.reserve(found.size());
    for (auto& [index, path] : found)
        paths.push_back(std::move(path));
    return paths;
}

bool hasCurrentFrequency(const std::string& root) {
    for (const auto& cpu : cpuDirectories(root))
        if (::access((cpu + "/cpufreq/scaling_cur_freq").c_str(), R_OK) == 0)
            return true;
    return false;
}

std::optional<double> averageCurrentMHz(const std::string& root, std::stop_token stop) {
    double sum = 0;
    unsigned count = 0;
    for (const auto& cpu : cpuDirectories(root)) {
        if (stop.stop_requested())
            return std::nullopt;
        if (auto khz = readNumberFile(cpu + "/cpufreq/scaling_cur_freq");
            khz && plausibleMHz(*khz / 1000.0)) {
            sum += *khz / 1000.0;
            ++count;
        }
    }
    if (count == 0)
        return std::nullopt;
    return sum / count;
}

} // namespace ombrix::cpu
