#include "harness/state/CallTrace.h"
#include "harness/state/Text.h"

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <system_error>

namespace harness {

void CallTrace::enable(const std::string& file)
{
    std::lock_guard lock(mutex_);
    if (!file.empty()) {
        file_.open(file, std::ios::out | std::ios::trunc);
        if (!file_)
            throw std::runtime_error("cannot write the call trace to '" + file + "'");
        fileName_ = file;
    }
    enabled_.store(true);
}

void CallTrace::record(TraceEntry entry)
{
    std::lock_guard lock(mutex_);
    entry.sequence = next_++;
    if (file_.is_open()) {
        file_ << Format(entry) << '\n';
        noteFileFailure();
    }
    entries_.push_back(std::move(entry));
}

std::vector<TraceEntry> CallTrace::entries() const
{
    std::lock_guard lock(mutex_);
    return entries_;
}

std::vector<TraceEntry> CallTrace::since(std::uint64_t first) const
{
    std::lock_guard lock(mutex_);
    auto begin = std::find_if(entries_.begin(), entries_.end(),
                              [first](const TraceEntry& e) { return e.sequence >= first; });
    return {begin, entries_.end()};
}

std::uint64_t CallTrace::nextSequence() const
{
    std::lock_guard lock(mutex_);
    return next_;
}

void CallTrace::clear()
{
    std::lock_guard lock(mutex_);
    entries_.clear();
}

void CallTrace::flush()
{
    std::lock_guard lock(mutex_);
    if (file_.is_open()) {
        file_.flush();
        noteFileFailure();
    }
}

void CallTrace::noteFileFailure()
{
    // The system's reason, kept from the write that failed (the stream
    // keeps none of its own).
    if (!file_.good() && fileFailure_.empty())
        fileFailure_ = errno != 0 ? std::error_code(errno, std::generic_category()).message() : "the write failed";
}

std::string CallTrace::fileError() const
{
    std::lock_guard lock(mutex_);
    if (fileFailure_.empty())
        return {};
    return "writing the call trace to '" + fileName_ + "' failed: " + fileFailure_;
}

std::string CallTrace::Format(const TraceEntry& entry)
{
    std::string line = Concat({"#", std::to_string(entry.sequence), " [", entry.command, "] t",
                               entry.thread < 0 ? std::string("?") : std::to_string(entry.thread)});
    line += " " + entry.function + "(" + entry.arguments + ")";
    if (!entry.result.empty())
        line += " -> " + entry.result;
    return line;
}

} // namespace harness
