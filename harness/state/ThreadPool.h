// Worker threads for the iterate suites. Each run starts `threads` workers
// that take indices from a shared counter, so the work a thread does depends
// on timing but the set of indices run does not.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace harness {

// Number of workers for a requested count: 0 means every hardware thread.
int ResolveThreadCount(int requested);

// Calls work(worker, index) for every index in [0, count) on `threads`
// workers (worker 0 .. threads-1) and returns when all are done. `work`
// returns false to stop further indices from being started. Each worker
// first calls `onWorkerStart(worker)` (to bind per-thread state).
void RunParallel(int threads, std::int64_t count, const std::function<void(int worker)>& onWorkerStart,
                 const std::function<bool(int worker, std::int64_t index)>& work);

// Workers started once and kept until the pool is destroyed, for a host
// that renders many frames (a video tool's filter) and should not start
// threads for every iterate call. run() has RunParallel's contract; calls
// from several threads at once take turns.
class WorkerPool {
public:
    explicit WorkerPool(int threads);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    int size() const { return static_cast<int>(workers_.size()); }
    // Whether the calling thread is one of this pool's workers (a run from
    // inside a run cannot wait for the workers it occupies).
    bool onWorkerThread() const;
    void run(std::int64_t count, const std::function<bool(int worker, std::int64_t index)>& work);

private:
    void loop(int worker);

    std::mutex runMutex_; // one run at a time
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable finished_;
    std::uint64_t generation_ = 0;
    int active_ = 0; // workers still in the current run
    bool quit_ = false;
    std::int64_t count_ = 0;
    std::int64_t next_ = 0;
    bool stop_ = false;
    const std::function<bool(int, std::int64_t)>* work_ = nullptr;
    std::vector<std::thread> workers_;
};

} // namespace harness
