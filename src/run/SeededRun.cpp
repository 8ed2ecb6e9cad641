#include "run/SeededRun.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "base/Fail.h"
#include "run/StartUp.h"
#include "sim/Random.h"
#include "sim/SimulationStreams.h"

namespace {

// Installs a generator of its own as the calling thread's `r` for the
// object's lifetime.
class ThreadGenerator {
  public:
    ThreadGenerator() : own_(gsl_rng_alloc(gsl_rng_taus)), previous_(r) { r = own_.get(); }
    ~ThreadGenerator() { r = previous_; }
    ThreadGenerator(const ThreadGenerator&) = delete;
    ThreadGenerator& operator=(const ThreadGenerator&) = delete;
    gsl_rng* get() const { return own_.get(); }

  private:
    GeneratorOwner own_;
    gsl_rng* previous_;
};

void runOneThread(const params& settings, const ObservedStatistics& observed, ModelVersion version,
                  uint64_t seed, int64_t first, int64_t last, RunSink& sink,
                  const SampleDraw* sample) {
    ThreadGenerator generator;
    RepeatWorkspace work(settings.number_of_loci);
    RepeatResult result;
    for (int64_t i = first; i < last; ++i) {
        seedSimulationStream(generator.get(), seed, static_cast<uint64_t>(i));
        if (settings.hasMutationKeys())
            seedMutationStream(work.mutationRng.get(), seed, static_cast<uint64_t>(i));
        simulateRepeat(settings, observed, version, work, sink.wantsTable() ? i + 1 : 0, result,
                       sample);
        sink.take(i, result);
    }
}

// A result waiting for the sink: slot i % window holds simulation i.
struct Slot {
    RepeatResult result;
    std::string failure;
    bool failed = false;
    bool ready = false;
};

}  // namespace

void runSeeded(const params& settings, const ObservedStatistics& observed, ModelVersion version,
               uint64_t seed, int64_t first, int64_t last, int threads, RunSink& sink,
               const SampleDraw* sample) {
    if (threads <= 1 || last - first <= 1) {
        runOneThread(settings, observed, version, seed, first, last, sink, sample);
        return;
    }
    const bool table = sink.wantsTable();
    // Workers run at most `window` simulations ahead of the sink, so a slow
    // simulation holds back a bounded number of finished ones.
    const int64_t window = std::max<int64_t>(128 * threads, 512);
    std::vector<Slot> slots(static_cast<size_t>(window));
    std::mutex mutex;
    std::condition_variable readyChanged, spaceFreed;
    int64_t nextClaim = first;    // next simulation a worker takes
    int64_t nextConsume = first;  // next simulation the sink takes
    bool stop = false;
    int waiting = 0;  // workers waiting for the window to move

    auto work = [&]() {
        ThreadGenerator generator;
        RepeatWorkspace workspace(settings.number_of_loci);
        DeferFailures defer;
        for (;;) {
            int64_t i;
            {
                std::unique_lock<std::mutex> lock(mutex);
                ++waiting;
                spaceFreed.wait(lock, [&] {
                    return stop || nextClaim >= last || nextClaim < nextConsume + window;
                });
                --waiting;
                if (stop || nextClaim >= last) return;
                i = nextClaim++;
            }
            // The slot's previous simulation (i - window) has left the sink.
            Slot& slot = slots[static_cast<size_t>(i % window)];
            try {
                seedSimulationStream(generator.get(), seed, static_cast<uint64_t>(i));
                if (settings.hasMutationKeys())
                    seedMutationStream(workspace.mutationRng.get(), seed, static_cast<uint64_t>(i));
                simulateRepeat(settings, observed, version, workspace, table ? i + 1 : 0,
                               slot.result, sample);
            } catch (const DeferredFailure& failure) {
                slot.failure = failure.message;
                slot.failed = true;
            }
            {
                // Only the simulation the sink waits for needs to wake it.
                std::lock_guard<std::mutex> lock(mutex);
                slot.ready = true;
                if (i == nextConsume) readyChanged.notify_one();
            }
        }
    };

    std::vector<std::thread> workers;
    workers.reserve(static_cast<size_t>(threads));
    auto stopWorkers = [&] {
        {
            std::lock_guard<std::mutex> lock(mutex);
            stop = true;
            spaceFreed.notify_all();
        }
        for (std::thread& w : workers) w.join();
        workers.clear();
    };
    try {
        for (int t = 0; t < threads; ++t) workers.emplace_back(work);
    } catch (const std::system_error& e) {
        // The system refused a thread (a limit on processes, or memory): the
        // ones started stop before the run ends with the message.
        const std::size_t started = workers.size();
        stopWorkers();
        fail("error: threads: cannot start " + std::to_string(threads) + " threads (only " +
             std::to_string(started) + " started: " + e.what() +
             "); run with fewer --threads, or raise the limit on processes (ulimit -u)\n");
    }

    std::string failure;
    {
        // A failed write of the sink must not end the process while the
        // workers still run: it is reported after they have stopped.
        DeferFailures defer;
        try {
            for (int64_t i = first; i < last; ++i) {
                Slot& slot = slots[static_cast<size_t>(i % window)];
                {
                    std::unique_lock<std::mutex> lock(mutex);
                    readyChanged.wait(lock, [&] { return slot.ready; });
                }
                if (slot.failed) {
                    failure = slot.failure;
                    break;
                }
                sink.take(i, slot.result);
                {
                    std::lock_guard<std::mutex> lock(mutex);
                    slot.ready = false;
                    nextConsume = i + 1;
                    if (waiting > 0) spaceFreed.notify_all();
                }
            }
        } catch (const DeferredFailure& f) {
            failure = f.message;
        }
    }
    stopWorkers();
    if (!failure.empty()) fail(failure);
}
