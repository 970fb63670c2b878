#include "program/StandardStreams.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace ombrix::program {

void holdClosedStandardStreams() {
    for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        // The lowest free number is taken, and every lower one is open.
        const int held = ::open("/dev/null", fd == STDIN_FILENO ? O_WRONLY : O_RDONLY);
        if (held >= 0 && held != fd) {
            ::dup2(held, fd);
            ::close(held);
        }
    }
}

int writeStandardOutput(const QByteArray& bytes, const char* what) {
    const std::size_t size = static_cast<std::size_t>(bytes.size());
    errno = 0;
    if (std::fwrite(bytes.constData(), 1, size, stdout) == size && std::fflush(stdout) == 0 &&
        !std::ferror(stdout))
        return 0;
    const int error = errno;
    const char* reason =
        error == EBADF ? "standard output is closed" : std::strerror(error ? error : EIO);
    std::fprintf(stderr, "ombrix: cannot write the %s: %s\n", what, reason);
    return 1;
}

} // namespace ombrix::program
