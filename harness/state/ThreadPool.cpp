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

} // namespace harness
