// Writes the frames of a run on a thread of its own, so that frame k is
// written while frame k+1 renders.
//
// One frame at a time: submit() waits while the previous frame is still
// being written, so a run holds at most the frame being written and the one
// rendering. Each write is the whole, checked, atomic write of the write
// function (WriteImage). The first failure is kept; the next submit() or
// finish() throws it, naming the frame, and nothing more is written. Frames
// written before it stay.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "harness/state/World.h"

namespace harness {

// A frame that could not be written; the message names the frame and why.
class FrameWriteError : public std::runtime_error {
public:
    FrameWriteError(int frame, const std::string& message) : std::runtime_error(message), frame_(frame) {}
    int frame() const { return frame_; }

private:
    int frame_;
};

class FrameWriter {
public:
    // Writes `picture` to `path`, throwing on failure.
    using WriteFunction = std::function<void(const OwnedWorld& picture, const std::string& path)>;

    explicit FrameWriter(WriteFunction write);
    // Finishes the write in progress; a failure then is dropped (call
    // finish() to hear of it).
    ~FrameWriter();
    FrameWriter(const FrameWriter&) = delete;
    FrameWriter& operator=(const FrameWriter&) = delete;

    // Hands over frame `frame` for `path`; waits while the previous frame
    // is still being written. Throws FrameWriteError when a write failed.
    void submit(int frame, std::shared_ptr<const OwnedWorld> picture, std::string path);
    // Waits for the write in progress; throws FrameWriteError when a write
    // failed.
    void finish();
    // Paths written, in order.
    std::vector<std::string> written() const;

private:
    struct Job {
        int frame = 0;
        std::shared_ptr<const OwnedWorld> picture;
        std::string path;
    };
    void run();
    void throwFailureLocked() const;

    WriteFunction write_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<Job> job_; // handed over, not yet written
    bool busy_ = false;      // a job is being written
    bool stop_ = false;
    std::optional<FrameWriteError> failure_;
    std::vector<std::string> written_;
    std::thread thread_;
};

} // namespace harness
