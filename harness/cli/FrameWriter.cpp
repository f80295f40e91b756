#include "harness/cli/FrameWriter.h"

namespace harness {

FrameWriter::FrameWriter(WriteFunction write) : write_(std::move(write))
{
    thread_ = std::thread([this] { run(); });
}

FrameWriter::~FrameWriter()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void FrameWriter::submit(int frame, std::shared_ptr<const OwnedWorld> picture, std::string path)
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return (!job_ && !busy_) || failure_; });
    throwFailureLocked();
    job_ = Job{frame, std::move(picture), std::move(path)};
    changed_.notify_all();
}

void FrameWriter::finish()
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return !job_ && !busy_; });
    throwFailureLocked();
}

std::vector<std::string> FrameWriter::written() const
{
    std::lock_guard lock(mutex_);
    return written_;
}

void FrameWriter::throwFailureLocked() const
{
    if (failure_)
        throw *failure_;
}

void FrameWriter::run()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return job_ || stop_; });
        if (!job_)
            return; // stopped with nothing handed over
        Job job = std::move(*job_);
        job_.reset();
        busy_ = true;
        lock.unlock();
        std::optional<FrameWriteError> failure;
        try {
            write_(*job.picture, job.path);
        } catch (const std::bad_alloc&) {
            failure.emplace(job.frame, "frame " + std::to_string(job.frame) + ": not enough memory to write \"" +
                                           job.path + "\"");
        } catch (const std::exception& e) {
            failure.emplace(job.frame, "frame " + std::to_string(job.frame) + ": " + e.what());
        }
        job.picture.reset();
        lock.lock();
        busy_ = false;
        if (failure) {
            if (!failure_)
                failure_ = std::move(failure);
        } else {
            written_.push_back(job.path);
        }
        changed_.notify_all();
    }
}

} // namespace harness
