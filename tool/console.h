// The console tool as a library call: the whole `quorax` command (banner,
// usage, arguments, pipeline, exit status) run on an argument list, so that
// programs that run many frames (quorax-series) execute exactly what one
// `quorax` invocation executes, without a process per frame.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace quorax {

struct ConsoleEnvironment {
    // Seed of the line seeding; empty: QUORAX_SEED or, failing that, the clock.
    std::optional<uint32_t> seed;
};

// Runs `quorax` on `args` (the program name not included), printing progress
// to `out` and warnings and errors to `err` exactly as the program does.
// Returns the exit status (0, 1, or -1 for too few arguments).
int runConsole(const std::vector<std::string>& args, std::FILE* out, std::FILE* err,
               const ConsoleEnvironment& env = {});

// The seed QUORAX_SEED gives (a warning on `err` when it is not an integer),
// or the clock's.
uint32_t seedFromEnvironment(std::FILE* out, std::FILE* err);

} // namespace quorax
