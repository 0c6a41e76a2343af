#include "console.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>

#include "params.h"
#include "pipeline.h"
#include "version.h"

namespace quorax {
namespace {

void printUsage(std::FILE* out) {
    std::fprintf(out, "\ntoo few parameters\n");
    std::fprintf(out, "USAGE: quorax 3dmeshfilename DXfilenamne linesfilename linesdensity haltgradient "
                      "haltangle reduce reduceangle\n\n");
    static const char* const descriptions[kPipelineArgumentCount] = {
        "3d mesh to load, obj format",
        "potential grid, DX format",
        "output file name for lines, txt format",
        "lines density, as # of lines per Ev/squareAngstrom, float",
        "stop line if a gradient lower than this is found, float",
        "stop line if an angle larger than this is encountered, float",
        "simplify lines before exporting, 1=yes 0=no",
        "maxim angular change in simplification, float"};
    for (int i = 0; i < kPipelineArgumentCount; ++i)
        std::fprintf(out, "%-19s%s\n", kArgumentNames[i], descriptions[i]);
    std::fprintf(out, "\nEXAMPLE: quorax calmodulin.obj calmodulin_EP.DX output_lines.txt 0.01 0.0 45 1 3.0\n\n");
}

} // namespace

uint32_t seedFromEnvironment(std::FILE* out, std::FILE* err) {
    const char* text = std::getenv("QUORAX_SEED");
    if (text && *text) {
        char* end = nullptr;
        errno = 0;
        const long long v = std::strtoll(text, &end, 10);
        if (errno == 0 && *end == '\0') return static_cast<uint32_t>(v);
        std::fflush(out);
        std::fprintf(err, "quorax: warning: QUORAX_SEED=\"%s\" is not an integer; the clock seeds the line seeding\n",
                     text);
    }
    return static_cast<uint32_t>(std::time(nullptr));
}

int runConsole(const std::vector<std::string>& args, std::FILE* out, std::FILE* err,
               const ConsoleEnvironment& env) {
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "--version")) {
        if (args[0] == "--version") std::fprintf(out, "quorax %s\n", QUORAX_VERSION);
        else std::fprintf(out, "Usage: quorax MESH GRID LINES linesdensity haltgradient haltangle reduce reduceangle [1]\n\nOptions:\n  --help     print this help and exit\n  --version  print the version and exit\n");
        return 0;
    }
    std::fprintf(out, "--- QUORAX --- Potential Lines Tool - V 2.0\n\n");
    if (static_cast<int>(args.size()) < kPipelineArgumentCount) {
        printUsage(out);
        return -1;
    }
    PipelineParams params;
    std::vector<std::string> warnings;
    parsePipelineArguments(args, ArgumentRules::Console, params, warnings);
    if (params.debug) std::fprintf(out, "\n DEBUG MODE \n\n");
    if (!warnings.empty()) {
        std::fflush(out);
        for (const std::string& w : warnings) std::fprintf(err, "quorax: warning: %s\n", w.c_str());
    }
    PipelineHooks hooks;
    hooks.generatorSeed = env.seed ? *env.seed : seedFromEnvironment(out, err);
    const int status = runPipeline(params, out, err, hooks);
    std::fflush(out);
    return status;
}

} // namespace quorax
