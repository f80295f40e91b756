#include "harness/cli/StdoutCapture.h"

#include <cerrno>
#include <cstdio>
#include <iostream>

#if !defined(_WIN32)
#include <fcntl.h>
#include <unistd.h>
#endif

namespace harness {

namespace {

#if !defined(_WIN32)
// False (errno set) when the system took fewer bytes: a full disk, a closed
// pipe.
bool WriteAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}
#endif

} // namespace

StdoutCapture::StdoutCapture(LineFunction onLine) : onLine_(std::move(onLine))
{
#if !defined(_WIN32)
    std::fflush(stdout);
    std::cout.flush();
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return;
    savedFd_ = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (savedFd_ < 0 || ::dup2(fds[1], STDOUT_FILENO) < 0) {
        if (savedFd_ >= 0)
            ::close(savedFd_);
        savedFd_ = -1;
        ::close(fds[0]);
        ::close(fds[1]);
        return;
    }
    ::close(fds[1]);
    thread_ = std::thread([this, fd = fds[0]] { drain(fd); });
#endif
}

StdoutCapture::~StdoutCapture()
{
#if !defined(_WIN32)
    if (savedFd_ < 0)
        return;
    std::fflush(stdout);
    std::cout.flush();
    // Putting the real descriptor back closes the pipe's last write end, and
    // the thread reads to its end.
    ::dup2(savedFd_, STDOUT_FILENO);
    thread_.join();
    ::close(savedFd_);
#endif
}

bool StdoutCapture::writeOut(const std::string& text) const
{
#if !defined(_WIN32)
    return WriteAll(savedFd_ >= 0 ? savedFd_ : STDOUT_FILENO, text.data(), text.size());
#else
    const bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
    return std::fflush(stdout) == 0 && written;
#endif
}

void StdoutCapture::drain(int fd)
{
#if !defined(_WIN32)
    std::string pending;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        pending.append(buffer, static_cast<std::size_t>(n));
        std::size_t start = 0;
        for (std::size_t end; (end = pending.find('\n', start)) != std::string::npos; start = end + 1)
            if (onLine_)
                onLine_(pending.substr(start, end - start));
        pending.erase(0, start);
    }
    if (!pending.empty() && onLine_)
        onLine_(pending);
    ::close(fd);
#else
    (void)fd;
#endif
}

} // namespace harness
