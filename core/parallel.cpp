#include "parallel.h"

#include <sched.h>

#include <tbb/blocked_range.h>
#include <tbb/global_control.h>
#include <tbb/parallel_for.h>
#include <tbb/task_arena.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace quorax {
namespace {

std::atomic<int> overrideThreads{0};

// QUORAX_THREADS as a count, 0 when unset or not a whole number of at least 1.
int threadsFromEnvironment(bool& invalid) {
    invalid = false;
    const char* text = std::getenv("QUORAX_THREADS");
    if (!text || !*text) return 0;
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (*end != '\0' || v < 1 || v > 4096) {
        invalid = true;
        return 0;
    }
    return static_cast<int>(v);
}

// The cores this process may run on (a cluster job or taskset may allow
// fewer than the machine has).
int coreCount() {
    cpu_set_t set;
    if (::sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) return CPU_COUNT(&set);
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : static_cast<int>(n);
}

} // namespace

int workerThreads() {
    if (const int n = overrideThreads.load(); n > 0) return n;
    static const int fromEnvironment = [] {
        bool invalid = false;
        const int n = threadsFromEnvironment(invalid);
        return n > 0 ? n : coreCount();
    }();
    return fromEnvironment;
}

std::string workerThreadsWarning() {
    bool invalid = false;
    threadsFromEnvironment(invalid);
    if (!invalid) return {};
    return std::string("QUORAX_THREADS=\"") + std::getenv("QUORAX_THREADS") +
           "\" is not a whole number of at least 1; every core is used";
}

void setWorkerThreads(int threads) { overrideThreads.store(threads > 0 ? threads : 0); }

namespace {

// One arena per thread count, kept for the process: steps call this many
// times (once per grid layer). Without the control, more threads than cores
// would be refused with a warning on stderr.
struct Workers {
    tbb::global_control allow;
    tbb::task_arena arena;
    explicit Workers(int n)
        : allow(tbb::global_control::max_allowed_parallelism, static_cast<std::size_t>(n)), arena(n) {}
};

// The arena for `threads` threads. Frames of a series call this from several
// threads at once; a caller keeps the arena it started on even when the
// thread count changes.
std::shared_ptr<Workers> workersFor(int threads) {
    static std::mutex lock;
    static std::shared_ptr<Workers> workers;
    const std::lock_guard<std::mutex> guard(lock);
    if (!workers || workers->arena.max_concurrency() != threads) {
        workers.reset();
        workers = std::make_shared<Workers>(threads);
    }
    return workers;
}

} // namespace

void parallelRanges(std::size_t count, std::size_t grain,
                    const std::function<void(std::size_t, std::size_t)>& body) {
    if (count == 0) return;
    if (grain == 0) grain = 1;
    const int threads = workerThreads();
    if (threads == 1 || count <= grain) {
        body(0, count);
        return;
    }
    const std::shared_ptr<Workers> w = workersFor(threads);
    w->arena.execute([&] {
        tbb::parallel_for(tbb::blocked_range<std::size_t>(0, count, grain),
                          [&](const tbb::blocked_range<std::size_t>& r) { body(r.begin(), r.end()); });
    });
}

struct BackgroundWork::State {
    std::thread thread;
    std::exception_ptr error;
    std::function<void()> pending; // one thread: the work, done when waited for
};

BackgroundWork::BackgroundWork(std::function<void()> work) : state_(std::make_unique<State>()) {
    if (workerThreads() > 1) {
        // A thread of its own, not a task of the workers: its parallel loops
        // then join the workers as the caller's do, and neither ever waits
        // inside a task for the other (a task that waited for work queued
        // behind it on the same worker would never end).
        try {
            State* s = state_.get();
            state_->thread = std::thread([s, work] {
                try {
                    work();
                } catch (...) {
                    s->error = std::current_exception();
                }
            });
            return;
        } catch (const std::system_error&) {
            // No thread to be had: the work is done when waited for.
        }
    }
    state_->pending = std::move(work);
}

BackgroundWork::~BackgroundWork() {
    if (state_->thread.joinable()) state_->thread.join();
}

void BackgroundWork::wait() {
    if (state_->pending) {
        const std::function<void()> work = std::exchange(state_->pending, nullptr);
        work();
        return;
    }
    if (!state_->thread.joinable()) return;
    state_->thread.join();
    if (state_->error) std::rethrow_exception(std::exchange(state_->error, nullptr));
}

std::vector<std::size_t> splitAtLineStarts(std::string_view bytes, std::size_t pieces) {
    std::vector<std::size_t> offsets{0};
    const std::size_t size = bytes.size();
    for (std::size_t k = 1; k < pieces; ++k) {
        const std::size_t from = std::max(offsets.back(), size / pieces * k);
        if (from >= size) break;
        const void* nl = std::memchr(bytes.data() + from, '\n', size - from);
        if (!nl) break;
        const std::size_t at = static_cast<std::size_t>(static_cast<const char*>(nl) - bytes.data()) + 1;
        if (at >= size) break;
        if (at > offsets.back()) offsets.push_back(at);
    }
    offsets.push_back(size);
    return offsets;
}

std::size_t parsePieces(std::size_t bytes) {
    const std::size_t threads = static_cast<std::size_t>(workerThreads());
    if (threads == 1) return 1;
    return std::max<std::size_t>(1, std::min(threads * 8, bytes / (64 * 1024)));
}

} // namespace quorax
