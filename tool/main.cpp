// quorax: the console pipeline, from a surface and a potential grid to a
// file of field lines. Turns the arguments into pipeline parameters, prints
// the banner or the usage text and maps the outcome to the exit status.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "params.h"
#include "pipeline.h"

namespace {

void printUsage() {
    std::printf("\ntoo few parameters\n");
    std::printf("USAGE: quorax 3dmeshfilename DXfilenamne linesfilename linesdensity haltgradient "
                "haltangle reduce reduceangle\n\n");
    static const char* const descriptions[quorax::kPipelineArgumentCount] = {
        "3d mesh to load, obj format",
        "potential grid, DX format",
        "output file name for lines, txt format",
        "lines density, as # of lines per Ev/squareAngstrom, float",
        "stop line if a gradient lower than this is found, float",
        "stop line if an angle larger than this is encountered, float",
        "simplify lines before exporting, 1=yes 0=no",
        "maxim angular change in simplification, float"};
    for (int i = 0; i < quorax::kPipelineArgumentCount; ++i)
        std::printf("%-19s%s\n", quorax::kArgumentNames[i], descriptions[i]);
    std::printf("\nEXAMPLE: quorax calmodulin.obj calmodulin_EP.DX output_lines.txt 0.01 0.0 45 1 3.0\n\n");
}

// Seed of the line seeding: QUORAX_SEED when it holds an integer, so that
// runs can be repeated byte for byte; the clock otherwise.
uint32_t generatorSeed() {
    const char* text = std::getenv("QUORAX_SEED");
    if (text && *text) {
        char* end = nullptr;
        errno = 0;
        const long long v = std::strtoll(text, &end, 10);
        if (errno == 0 && *end == '\0') return static_cast<uint32_t>(v);
        std::fflush(stdout);
        std::fprintf(stderr, "quorax: warning: QUORAX_SEED=\"%s\" is not an integer; the clock seeds the line seeding\n",
                     text);
    }
    return static_cast<uint32_t>(std::time(nullptr));
}

} // namespace

int main(int argc, char** argv) {
    std::printf("--- QUORAX --- Potential Lines Tool - V 2.0\n\n");
    if (argc - 1 < quorax::kPipelineArgumentCount) {
        printUsage();
        return -1;
    }
    const std::vector<std::string> args(argv + 1, argv + argc);
    quorax::PipelineParams params;
    std::vector<std::string> warnings;
    quorax::parsePipelineArguments(args, quorax::ArgumentRules::Console, params, warnings);
    if (params.debug) std::printf("\n DEBUG MODE \n\n");
    if (!warnings.empty()) {
        std::fflush(stdout);
        for (const std::string& w : warnings) std::fprintf(stderr, "quorax: warning: %s\n", w.c_str());
    }
    quorax::PipelineHooks hooks;
    hooks.generatorSeed = generatorSeed();
    const int status = quorax::runPipeline(params, stdout, stderr, hooks);
    std::fflush(stdout);
    return status;
}
