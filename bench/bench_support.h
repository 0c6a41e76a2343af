// Timing helpers shared by the benchmarks.
#pragma once

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace quorax::bench {

using Clock = std::chrono::steady_clock;

inline double seconds(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

struct ProcessRun {
    double wall = 0;   // seconds
    long maxRssKb = 0; // peak resident memory of the child
    int status = -1;   // exit status, -1 when it did not exit normally
};

// Runs args[0] with its output thrown away; wall time and peak memory.
inline ProcessRun runMeasured(const std::vector<std::string>& args) {
    ProcessRun r;
    std::fflush(stdout); // the child must not print our buffered output again
    const auto t0 = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (!std::freopen("/dev/null", "w", stdout) || !std::freopen("/dev/null", "w", stderr)) ::_exit(126);
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    struct rusage usage {};
    ::wait4(pid, &status, 0, &usage);
    r.wall = seconds(t0, Clock::now());
    r.maxRssKb = usage.ru_maxrss;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

} // namespace quorax::bench
