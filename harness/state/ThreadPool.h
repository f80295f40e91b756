// Worker threads for the iterate suites. Each run starts `threads` workers
// that take indices from a shared counter, so the work a thread does depends
// on timing but the set of indices run does not.
#pragma once

#include <cstdint>
#include <functional>

namespace harness {

// Number of workers for a requested count: 0 means every hardware thread.
int ResolveThreadCount(int requested);

// Calls work(worker, index) for every index in [0, count) on `threads`
// workers (worker 0 .. threads-1) and returns when all are done. `work`
// returns false to stop further indices from being started. Each worker
// first calls `onWorkerStart(worker)` (to bind per-thread state).
void RunParallel(int threads, std::int64_t count, const std::function<void(int worker)>& onWorkerStart,
                 const std::function<bool(int worker, std::int64_t index)>& work);

} // namespace harness
