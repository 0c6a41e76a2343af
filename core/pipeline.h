// The whole batch run of the console tool: read, map, gradient, seed, trace,
// simplify, write, with its progress lines.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "params.h"

namespace quorax {

enum class Phase { ReadObj, ReadDx, Map, Gradient, Seeding, Tracing, Simplify, Write, Export };

struct PipelineHooks {
    uint32_t generatorSeed = 0;   // seed of the line seeding
    const char* program = "quorax"; // prefix of warnings and errors
    // Called at the end of every phase that ran (for timing); Export after
    // each export written.
    std::function<void(Phase)> phaseDone;
};

// Maximum vector length and smoothing passes of the console tool's gradient.
constexpr float kGradientMaxLength = 6.0f;
constexpr int kGradientSmoothingPasses = 3;
// Largest number of steps per direction of a console trace.
constexpr int32_t kConsoleMaxSteps = 200;

// When an output of the run (the lines file, and in debug mode the three
// dumps in the current folder) is the very file of an input (the mesh or the
// grid, however spelled or linked), the error that refuses the run:
// "refusing to write the lines file "out": it is the same file as the input
// "in""; otherwise an empty text. Checked before anything is read or written.
std::string outputOverwritingInput(const PipelineParams& params);

// Runs the pipeline. Progress lines go to `out` exactly as the console tool
// prints them (from "loading OBJ model: …" to "lines saved"); warnings and
// errors go to `err`, each naming the file and the problem. Returns the exit
// status: 0 when the lines file was written, 1 when an output is an input
// (see outputOverwritingInput), an input could not be read or the lines file
// could not be written (the lines file is then left as it was). Debug dumps
// that cannot be written are warnings. After the lines file, every export of
// params.exports is written and announced on `out` ("lines exported: FILE");
// an export that cannot be written is an error (status 1, that file left as
// it was) and the others are still written.
int runPipeline(const PipelineParams& params, std::FILE* out, std::FILE* err, const PipelineHooks& hooks);

} // namespace quorax
