#pragma once
// Plain C++ without Qt: the processor library shares this reader.
#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ombrix::platform {

// A file of the kernel (/proc, /sys) or a small configuration file, read in
// one go. Such files are made up as they are read, so a reader takes the text
// at once rather than line by line; the cap bounds what a file that never
// ends can cost. Only a regular file is read (those of /proc and /sys are
// regular, though they say their size is 0): a FIFO, a socket, a device or a
// folder put in a file's place counts as unreadable at once, and is never
// waited on, since the open itself does not wait. The descriptor is closed
// on every path.
class KernelFile {
public:
    static constexpr std::size_t kDefaultCap = std::size_t{1} << 20;

    explicit KernelFile(const std::string& path)
        : m_fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY)) {
        struct stat st {};
        if (m_fd >= 0 && (::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode))) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~KernelFile() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    KernelFile(const KernelFile&) = delete;
    KernelFile& operator=(const KernelFile&) = delete;

    bool isOpen() const { return m_fd >= 0; }

    // Appends the text to out, up to cap bytes of it, or until the text read
    // holds stopAt when that is given. False when the file is not open or a
    // read fails; a read cut short by a signal is made again.
    bool readInto(std::string& out, std::size_t cap = kDefaultCap, std::string_view stopAt = {}) {
        if (m_fd < 0)
            return false;
        char chunk[4096]; // a page: /proc makes its text a page at a time
        std::size_t read = 0;
        while (read < cap) {
            const ssize_t n = ::read(m_fd, chunk, std::min(sizeof chunk, cap - read));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return false;
            if (n == 0)
                break;
            const std::size_t searchFrom =
                out.size() >= stopAt.size() ? out.size() - stopAt.size() : 0;
            out.append(chunk, static_cast<std::size_t>(n));
            read += static_cast<std::size_t>(n);
            if (!stopAt.empty() && out.find(stopAt, searchFrom) != std::string::npos)
                break;
        }
        return true;
    }

private:
    int m_fd;
};

// The whole text of a kernel file up to cap bytes; nullopt when it cannot be
// opened or read.
inline std::optional<std::string> readKernelFile(const std::string& path,
                                                 std::size_t cap = KernelFile::kDefaultCap) {
    std::string text;
    if (!KernelFile(path).readInto(text, cap))
        return std::nullopt;
    return text;
}

// The same into a buffer the caller keeps between reads.
inline bool readKernelFile(const std::string& path, std::string& out,
                           std::size_t cap = KernelFile::kDefaultCap) {
    out.clear();
    return KernelFile(path).readInto(out, cap);
}

} // namespace ombrix::platform
