#include "abc/Parallel.h"

#include <atomic>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

void forEachIndex(std::size_t count, int threads, const std::function<void(std::size_t)>& task) {
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    std::exception_ptr failure;
    std::mutex failureMutex;
    auto work = [&] {
        for (;;) {
            if (failed.load()) return;
            const std::size_t i = next.fetch_add(1);
            if (i >= count) return;
            try {
                task(i);
            } catch (...) {
                std::lock_guard<std::mutex> lock(failureMutex);
                if (!failure) failure = std::current_exception();
                failed.store(true);
            }
        }
    };
    std::vector<std::thread> helpers;
    const std::size_t wanted = threads > 1 ? static_cast<std::size_t>(threads - 1) : 0;
    for (std::size_t t = 0; t < wanted && t + 1 < count; ++t) {
        try {
            helpers.emplace_back(work);
        } catch (const std::system_error&) {
            break;  // fewer threads: same results, later
        }
    }
    work();
    for (std::thread& h : helpers) h.join();
    if (failure) std::rethrow_exception(failure);
}
