// The worker threads of the pipeline: how many, and loops split over them.
// Every parallel step writes each result to its own place (or merges partial
// results in a fixed order), so the output never depends on the thread count.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quorax {

// Threads the steps use: QUORAX_THREADS when it holds a whole number of at
// least 1, otherwise every core the process may run on. Read once per process.
int workerThreads();

// When QUORAX_THREADS is set but not a whole number of at least 1, the
// warning to show ("QUORAX_THREADS="x" is not a whole number of at least 1;
// every core is used"); otherwise an empty text.
std::string workerThreadsWarning();

// Sets the thread count for the rest of the process (tests and benchmarks);
// 0 goes back to QUORAX_THREADS or the core count.
void setWorkerThreads(int threads);

// Calls body(begin, end) on disjoint ranges that together cover [0, count),
// ranges no shorter than `grain` (except the last), on workerThreads()
// threads. With one thread, or a count of at most one grain, it is a plain
// call of body(0, count) on the calling thread.
void parallelRanges(std::size_t count, std::size_t grain,
                    const std::function<void(std::size_t begin, std::size_t end)>& body);

// Work that runs beside the caller's own, on a thread of its own (the
// caller's parallel loops and the work's share the worker threads). wait()
// returns when it is done and passes on what it threw; the destructor waits
// too, so the work may use what the caller holds. With one thread the work
// runs in wait(), on the caller's thread, where a one-thread run has always
// done it; work never waited for is then not done at all.
class BackgroundWork {
public:
    explicit BackgroundWork(std::function<void()> work);
    ~BackgroundWork();
    BackgroundWork(const BackgroundWork&) = delete;
    BackgroundWork& operator=(const BackgroundWork&) = delete;
    void wait();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Splits `bytes` for parsing in parallel: offsets 0 = o[0] < o[1] < ... <
// o[n] = bytes.size(), each inner one just after a line feed, into about
// `pieces` parts of similar size (fewer when the text has few lines).
std::vector<std::size_t> splitAtLineStarts(std::string_view bytes, std::size_t pieces);

// Parts to split a text of `bytes` bytes into: 1 with one thread, otherwise
// a few per thread but none much smaller than 64 KiB.
std::size_t parsePieces(std::size_t bytes);

} // namespace quorax
