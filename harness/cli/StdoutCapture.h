// What the effect module writes to standard output (its diagnostic text)
// taken away from the terminal: while a StdoutCapture lives, file
// descriptor 1 is a pipe that a thread of its own drains, handing each line
// to a function (which prints it above the progress bar with --verbose, or
// drops it). The destructor flushes C and C++ standard output, restores
// descriptor 1 and hands over a last line without its newline.
//
// linestra-render's own standard output (--describe) is written through
// write() on the descriptor kept by the capture, or after it ends.
//
// On Windows the module's text goes to the system's debug output, not to
// standard output, and nothing is redirected here.
#pragma once

#include <functional>
#include <string>
#include <thread>

namespace harness {

class StdoutCapture {
public:
    using LineFunction = std::function<void(const std::string& line)>;

    // Redirects descriptor 1; when that fails (no pipe to be had) nothing is
    // captured and active() is false.
    explicit StdoutCapture(LineFunction onLine);
    ~StdoutCapture();
    StdoutCapture(const StdoutCapture&) = delete;
    StdoutCapture& operator=(const StdoutCapture&) = delete;

    bool active() const { return savedFd_ >= 0; }
    // Writes to the real standard output (the one before the capture);
    // false, with errno set, when not all of it was written.
    bool writeOut(const std::string& text) const;

private:
    void drain(int fd);

    LineFunction onLine_;
    int savedFd_ = -1;
    std::thread thread_;
};

} // namespace harness
