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

// A named option of `quorax`, given after the positional arguments (and the
// optional debug "1"), as "--name VALUE" or "--name=VALUE". Programs that
// run `quorax` per frame forward these; those with `outputFile` set name a
// file the run writes.
struct ConsoleOption {
    const char* name;      // with its dashes, e.g. "--lines-out"
    const char* valueName; // "FILE", "R", or nullptr for an option without a value
    bool outputFile;       // the value is a file the run writes
    const char* help;      // one line for --help
};

// Every named option, in the order --help lists them.
const std::vector<ConsoleOption>& consoleOptions();

// Runs `quorax` on `args` (the program name not included), printing progress
// to `out` and warnings and errors to `err` exactly as the program does.
// Returns the exit status (0, 1, or -1 for too few arguments). "--help" and
// "--version" print the help or the version to `out` and return 0.
int runConsole(const std::vector<std::string>& args, std::FILE* out, std::FILE* err,
               const ConsoleEnvironment& env = {});

// The seed QUORAX_SEED gives (a warning on `err` when it is not an integer),
// or the clock's.
uint32_t seedFromEnvironment(std::FILE* out, std::FILE* err);

} // namespace quorax
