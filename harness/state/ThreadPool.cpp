#include "harness/state/ThreadPool.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace harness {

int ResolveThreadCount(int requested)
{
    if (requested > 0)
        return requested;
    const unsigned hardware = std::thread::hardware_concurrency();
    return hardware == 0 ? 1 : static_cast<int>(hardware);
}

void RunParallel(int threads, std::int64_t count, const std::function<void(int worker)>& onWorkerStart,
                 const std::function<bool(int worker, std::int64_t index)>& work)
{
    if (count <= 0)
        return;
    const int workers = static_cast<int>(std::min<std::int64_t>(std::max(threads, 1), count));
    std::atomic<std::int64_t> next{0};
    std::atomic<bool> stop{false};

    auto body = [&](int worker) {
        if (onWorkerStart)
            onWorkerStart(worker);
        while (!stop.load(std::memory_order_relaxed)) {
            const std::int64_t index = next.fetch_add(1, std::memory_order_relaxed);
            if (index >= count)
                break;
            if (!work(worker, index))
                stop.store(true, std::memory_order_relaxed);
        }
    };

    std::vector<std::thread> pool;
    pool.reserve(static_cast<std::size_t>(workers));
    for (int worker = 0; worker < workers; ++worker)
        pool.emplace_back(body, worker);
    for (std::thread& thread : pool)
        thread.join();
}

namespace {
thread_local const WorkerPool* tWorkerOf = nullptr;
}

bool WorkerPool::onWorkerThread() const
{
    return tWorkerOf == this;
}

WorkerPool::WorkerPool(int threads)
{
    const int count = std::max(threads, 1);
    workers_.reserve(static_cast<std::size_t>(count));
    for (int worker = 0; worker < count; ++worker)
        workers_.emplace_back([this, worker] { loop(worker); });
}

WorkerPool::~WorkerPool()
{
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    for (std::thread& thread : workers_)
        thread.join();
}

void WorkerPool::run(std::int64_t count, const std::function<bool(int worker, std::int64_t index)>& work)
{
    if (count <= 0)
        return;
    std::lock_guard turn(runMutex_);
    std::unique_lock lock(mutex_);
    count_ = count;
    next_ = 0;
    stop_ = false;
    work_ = &work;
    active_ = size();
    ++generation_;
    wake_.notify_all();
    finished_.wait(lock, [this] { return active_ == 0; });
    work_ = nullptr;
}

void WorkerPool::loop(int worker)
{
    tWorkerOf = this;
    std::uint64_t seen = 0;
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [&] { return quit_ || generation_ != seen; });
        if (quit_)
            return;
        seen = generation_;
        // Indices are handed out under the lock: a run has one index per
        // row or iteration, far fewer than the work each one does.
        while (!stop_ && next_ < count_) {
            const std::int64_t index = next_++;
            lock.unlock();
            const bool more = (*work_)(worker, index);
            lock.lock();
            if (!more)
                stop_ = true;
        }
        if (--active_ == 0)
            finished_.notify_one();
    }
}

} // namespace harness
