#include "platform/registry/TextFile.h"

#include <array>
#include <fstream>

namespace ombrix::platform {

std::string readTextFile(const std::string& path, std::size_t maxBytes) {
    std::ifstream in(path, std::ios::binary);
    std::string text;
    std::array<char, 4096> chunk;
    while (in && text.size() < maxBytes) {
        in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        text.append(chunk.data(), static_cast<std::size_t>(in.gcount()));
    }
    if (text.size() > maxBytes)
        text.resize(maxBytes);
    return text;
}

} // namespace ombrix::platform
