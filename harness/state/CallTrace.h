// The call trace: every call the module makes into the host, in order, with
// its arguments and result. Kept in memory for tests and, when asked,
// written line by line to a file.
#pragma once

#include <atomic>
#include <cstdint>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "harness/state/Host.h"

namespace harness {

class CallTrace {
public:
    // Starts recording; with a file name, every entry is also written there.
    // Throws std::runtime_error when the file cannot be opened.
    void enable(const std::string& file);
    bool enabled() const { return enabled_.load(std::memory_order_relaxed); }

    void record(TraceEntry entry);
    std::vector<TraceEntry> entries() const;
    // Entries with a sequence number of at least `first`.
    std::vector<TraceEntry> since(std::uint64_t first) const;
    std::uint64_t nextSequence() const;
    void clear();
    void flush();
    // Why the trace file is incomplete (a write failed: a full disk); empty
    // while every entry reached it.
    std::string fileError() const;

    // One line: "#12 [SMART_RENDER] t0 PF_CheckoutPath(id=1, time=0, ...) -> 0".
    static std::string Format(const TraceEntry& entry);

private:
    void noteFileFailure(); // with mutex_ held

    std::atomic<bool> enabled_{false};
    mutable std::mutex mutex_;
    std::vector<TraceEntry> entries_;
    std::uint64_t next_ = 0;
    std::ofstream file_;
    std::string fileName_;
    std::string fileFailure_; // the reason of the first failed write
};

} // namespace harness
