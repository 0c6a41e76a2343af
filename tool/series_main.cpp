// quorax-series: runs the `quorax` command on every frame of a numbered
// series, several frames at once in threads of this process, or hands the
// frames to SLURM or to any runner of shell commands.
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "console.h"
#include "file_io.h"
#include "series.h"
#include "version.h"

using namespace quorax::series;

namespace {

using Clock = std::chrono::steady_clock;

volatile std::sig_atomic_t gInterrupted = 0;

extern "C" void onInterrupt(int) { gInterrupted = 1; }

// The folder this program was started from ("" when unknown).
std::string programFolder() {
    char buf[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return {};
    std::string path(buf, static_cast<std::size_t>(n));
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// `name` installed next to this program, else `name` as found on the PATH.
std::string sibling(const std::string& name) {
    const std::string path = programFolder() + name;
    return !programFolder().empty() && ::access(path.c_str(), X_OK) == 0 ? path : name;
}

std::string currentFolder() {
    char buf[4096];
    return ::getcwd(buf, sizeof buf) ? std::string(buf) : std::string(".");
}

unsigned usableCores() {
    cpu_set_t set;
    if (::sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return static_cast<unsigned>(CPU_COUNT(&set));
    return std::max(1u, std::thread::hardware_concurrency());
}

// "1-3, 7, 9-10" from a sorted list of frame numbers.
std::string frameList(std::vector<int64_t> frames) {
    std::sort(frames.begin(), frames.end());
    std::string s;
    for (std::size_t i = 0; i < frames.size();) {
        std::size_t j = i;
        while (j + 1 < frames.size() && frames[j + 1] == frames[j] + 1) ++j;
        if (!s.empty()) s += ", ";
        s += std::to_string(frames[i]);
        if (j > i) {
            s += '-';
            s += std::to_string(frames[j]);
        }
        i = j + 1;
    }
    return s;
}

// Seeds for frames when none is given: a fresh generator per series.
class SeedSource {
public:
    SeedSource() : generator_(std::random_device{}()) {}
    uint32_t next() {
        std::lock_guard<std::mutex> lock(mutex_);
        return static_cast<uint32_t>(generator_());
    }

private:
    std::mutex mutex_;
    std::mt19937 generator_;
};

// A stream in memory that one frame prints into.
struct Capture {
    char* data = nullptr;
    std::size_t size = 0;
    std::FILE* file = ::open_memstream(&data, &size);
    std::string take() {
        if (file) std::fclose(file);
        file = nullptr;
        std::string s = data ? std::string(data, size) : std::string();
        std::free(data);
        data = nullptr;
        return s;
    }
    ~Capture() { take(); }
};

enum class Outcome { Done, Skipped, Failed };

struct FrameResult {
    int64_t frame = 0;
    Outcome outcome = Outcome::Done;
    uint32_t seed = 0;
    double seconds = 0;
    int status = 0;
    std::string out, err;
};

// Prints the frame lines and the progress bar; one result at a time.
class Reporter {
public:
    Reporter(std::size_t total, bool seedsGiven, bool verbose)
        : total_(total), seedsGiven_(seedsGiven), verbose_(verbose), bar_(::isatty(STDERR_FILENO) == 1),
          start_(Clock::now()) {}

    void add(const FrameResult& r) {
        std::lock_guard<std::mutex> lock(mutex_);
        clearBar();
        ++seen_;
        char head[96];
        std::snprintf(head, sizeof head, "[%zu/%zu] frame %lld: ", seen_, total_, static_cast<long long>(r.frame));
        std::string prefix = "frame ";
        prefix += std::to_string(r.frame);
        prefix += ": ";
        switch (r.outcome) {
        case Outcome::Skipped:
            skipped_.push_back(r.frame);
            std::printf("%sskipped, outputs up to date\n", head);
            break;
        case Outcome::Done:
            done_.push_back(r.frame);
            ++ran_;
            if (seedsGiven_)
                std::printf("%sdone in %.2f s\n", head, r.seconds);
            else
                std::printf("%sdone in %.2f s, seed %u\n", head, r.seconds, r.seed);
            break;
        case Outcome::Failed:
            failed_.push_back(r.frame);
            ++ran_;
            if (seedsGiven_)
                std::printf("%sFAILED (exit status %d)\n", head, r.status);
            else
                std::printf("%sFAILED (exit status %d), seed %u\n", head, r.status, r.seed);
            break;
        }
        if (verbose_) printPrefixed(stdout, prefix, r.out);
        std::fflush(stdout);
        printPrefixed(stderr, prefix, r.err);
        drawBar();
    }

    void finish(bool interrupted, std::size_t notRun) {
        std::lock_guard<std::mutex> lock(mutex_);
        clearBar();
        std::printf("summary: %zu %s: %zu done, %zu skipped, %zu failed", total_, total_ == 1 ? "frame" : "frames", done_.size(),
                    skipped_.size(), failed_.size());
        if (interrupted) std::printf(", %zu not run (interrupted)", notRun);
        std::printf("\n");
        if (!skipped_.empty()) std::printf("  skipped: %s\n", frameList(skipped_).c_str());
        if (!failed_.empty()) std::printf("  failed: %s\n", frameList(failed_).c_str());
        std::fflush(stdout);
    }

    const std::vector<int64_t>& done() const { return done_; }
    const std::vector<int64_t>& skipped() const { return skipped_; }
    bool anyFailed() const { return !failed_.empty(); }

private:
    static void printPrefixed(std::FILE* f, const std::string& prefix, const std::string& text) {
        std::size_t start = 0;
        while (start < text.size()) {
            std::size_t end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            std::fprintf(f, "%s%.*s\n", prefix.c_str(), static_cast<int>(end - start), text.data() + start);
            start = end + 1;
        }
        std::fflush(f);
    }

    void clearBar() {
        if (bar_) std::fputs("\r\033[K", stderr);
    }

    // [=======>            ] 12/50 frames, 2.3 frames/s, 0:16 left
    void drawBar() {
        if (!bar_) return;
        constexpr int kWidth = 30;
        const int filled = static_cast<int>(kWidth * seen_ / std::max<std::size_t>(total_, 1));
        std::string bar(static_cast<std::size_t>(filled), '=');
        if (filled < kWidth) bar += '>';
        bar.resize(kWidth, ' ');
        const double elapsed = std::chrono::duration<double>(Clock::now() - start_).count();
        std::fprintf(stderr, "[%s] %zu/%zu frames", bar.c_str(), seen_, total_);
        if (ran_ > 0 && elapsed > 0) {
            const double rate = static_cast<double>(ran_) / elapsed;
            const long left = static_cast<long>(static_cast<double>(total_ - seen_) / rate + 0.5);
            std::fprintf(stderr, ", %.1f frames/s, %ld:%02ld left", rate, left / 60, left % 60);
        }
        std::fflush(stderr);
    }

    std::mutex mutex_;
    std::size_t total_, seen_ = 0, ran_ = 0;
    bool seedsGiven_, verbose_, bar_;
    Clock::time_point start_;
    std::vector<int64_t> done_, skipped_, failed_;
};

FrameResult runFrame(const Frame& frame, uint32_t seed) {
    FrameResult r;
    r.frame = frame.number;
    r.seed = seed;
    const auto t0 = Clock::now();
    Capture out, err;
    if (!out.file || !err.file) {
        r.outcome = Outcome::Failed;
        r.status = 1;
        r.err = "quorax-series: error: no memory for the frame's output";
        return r;
    }
    try {
        quorax::ConsoleEnvironment env;
        env.seed = seed;
        r.status = quorax::runConsole(frame.args, out.file, err.file, env);
    } catch (const std::exception& e) {
        std::fprintf(err.file, "quorax-series: error: %s\n", e.what());
        r.status = 1;
    }
    r.out = out.take();
    r.err = err.take();
    r.outcome = r.status == 0 ? Outcome::Done : Outcome::Failed;
    r.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    return r;
}

// Writes the .pvd collections listing `frames`; false after an error.
bool writeCollections(const SeriesOptions& o, std::vector<int64_t> frames) {
    if (!o.collections) return true;
    std::sort(frames.begin(), frames.end());
    bool ok = true;
    for (const Collection& c : collectionsFor(o, frames)) {
        std::string error;
        if (quorax::writeFileAtomically(c.path, collectionText(c), error)) {
            std::printf("wrote collection %s (%zu time steps)\n", c.path.c_str(), c.entries.size());
        } else {
            std::fprintf(stderr, "quorax-series: error: cannot write collection \"%s\": %s\n", c.path.c_str(),
                         error.c_str());
            ok = false;
        }
    }
    std::fflush(stdout);
    return ok;
}

int runLocal(const SeriesOptions& o) {
    const std::vector<int64_t> frames = o.frames.frames();
    const unsigned jobs = std::min<std::size_t>(o.jobs ? o.jobs : usableCores(), frames.size());
    struct sigaction sa {};
    sa.sa_handler = onInterrupt;
    sa.sa_flags = SA_RESETHAND | SA_RESTART; // a second Ctrl-C ends the program at once
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);

    Reporter reporter(frames.size(), o.seed.has_value(), o.verbose);
    SeedSource seeds;
    std::atomic<std::size_t> next{0};
    auto worker = [&] {
        for (;;) {
            if (gInterrupted) return;
            const std::size_t i = next.fetch_add(1);
            if (i >= frames.size()) return;
            const Frame frame = makeFrame(o, frames[i]);
            if (!o.force && frameUpToDate(frame)) {
                FrameResult r;
                r.frame = frame.number;
                r.outcome = Outcome::Skipped;
                reporter.add(r);
                continue;
            }
            reporter.add(runFrame(frame, o.seed ? *o.seed : seeds.next()));
        }
    };
    std::vector<std::thread> threads;
    for (unsigned t = 1; t < jobs; ++t) threads.emplace_back(worker);
    worker();
    for (std::thread& t : threads) t.join();

    const std::size_t started = std::min(next.load(), frames.size());
    const bool interrupted = gInterrupted != 0 && started < frames.size();
    reporter.finish(interrupted, frames.size() - started);
    std::vector<int64_t> present = reporter.done();
    present.insert(present.end(), reporter.skipped().begin(), reporter.skipped().end());
    const bool collectionsOk = writeCollections(o, present);
    if (interrupted) return 130;
    return reporter.anyFailed() || !collectionsOk ? 1 : 0;
}

int printCommands(const SeriesOptions& o) {
    const std::string quorax = sibling("quorax");
    SeedSource seeds;
    for (int64_t number : o.frames.frames()) {
        const Frame frame = makeFrame(o, number);
        if (!o.force && frameUpToDate(frame)) continue;
        std::printf("%s\n", frameCommand(quorax, frame, o.seed ? *o.seed : seeds.next()).c_str());
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}

int writeSlurm(const SeriesOptions& o) {
    std::string error;
    const std::string script = slurmScript(o, sibling("quorax-series"), currentFolder());
    if (!quorax::writeFileAtomically(o.slurmScript, script, error)) {
        std::fprintf(stderr, "quorax-series: error: cannot write SLURM script \"%s\": %s\n", o.slurmScript.c_str(),
                     error.c_str());
        return 1;
    }
    const std::size_t frames = o.frames.frames().size();
    std::printf("wrote SLURM job array script %s: %lld tasks for %zu frames\n", o.slurmScript.c_str(),
                static_cast<long long>(slurmTaskCount(o)), frames);
    if (!o.submit) return 0;
    const std::string command = "sbatch --parsable " + shellQuote(o.slurmScript);
    std::fflush(stdout);
    std::FILE* p = ::popen(command.c_str(), "r");
    if (!p) {
        std::fprintf(stderr, "quorax-series: error: cannot run sbatch: %s\n", std::strerror(errno));
        return 1;
    }
    std::string reply;
    char buf[256];
    while (std::fgets(buf, sizeof buf, p)) reply += buf;
    const int status = ::pclose(p);
    while (!reply.empty() && (reply.back() == '\n' || reply.back() == '\r')) reply.pop_back();
    if (status != 0 || reply.empty()) {
        std::fprintf(stderr, "quorax-series: error: sbatch refused \"%s\" (exit status %d)\n", o.slurmScript.c_str(),
                     WIFEXITED(status) ? WEXITSTATUS(status) : -1);
        return 1;
    }
    std::printf("submitted job array %s\n", reply.substr(0, reply.find(';')).c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    SeriesOptions options;
    std::string error;
    switch (parseSeriesArguments(args, std::getenv("QUORAX_SEED"), options, error)) {
    case ParseOutcome::Help:
        std::fputs(usageText().c_str(), stdout);
        return 0;
    case ParseOutcome::Version:
        std::printf("quorax-series %s\n", QUORAX_VERSION);
        return 0;
    case ParseOutcome::Error:
        std::fprintf(stderr, "quorax-series: error: %s\n(quorax-series --help tells the usage)\n", error.c_str());
        return 2;
    case ParseOutcome::Run:
        break;
    }
    if (options.printCommands) return printCommands(options);
    if (!options.slurmScript.empty()) return writeSlurm(options);
    return runLocal(options);
}
