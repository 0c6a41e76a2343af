// libFuzzer target: the console's whole pipeline on small inputs. The input is an OBJ surface, optionally followed by a
// line "----" and an OpenDX grid; without that line the surface goes with a fixed 4 × 4 × 4 grid. Both are written to
// files in a scratch folder and run with the example's parameters, with and without simplification.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_check.h"
#include "pipeline.h"

namespace {

// φ = x + 2y − z on nodes 0 … 3 per axis, spacing 1.
const char kDefaultGrid[] =
    "object 1 class gridpositions counts 4 4 4\norigin 0 0 0\ndelta 1 0 0\ndelta 0 1 0\ndelta 0 0 1\n"
    "object 2 class gridconnections counts 4 4 4\nobject 3 class array type double rank 0 items 64 data follows\n"
    "0 -1 -2 -3 2 1 0 -1 4 3 2 1 6 5 4 3\n1 0 -1 -2 3 2 1 0 5 4 3 2 7 6 5 4\n"
    "2 1 0 -1 4 3 2 1 6 5 4 3 8 7 6 5\n3 2 1 0 5 4 3 2 7 6 5 4 9 8 7 6\n";

struct Scratch {
    std::string dir;
    std::FILE* sink = nullptr;
    Scratch() {
        // In memory when the system has a RAM disk: the lines file is flushed to disk on every run.
        std::string name = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm/quorax-fuzz-XXXXXX" : "/tmp/quorax-fuzz-XXXXXX";
        if (!::mkdtemp(name.data())) std::abort();
        dir = name;
        sink = std::fopen("/dev/null", "w");
        if (!sink) std::abort();
    }
    ~Scratch() {
        for (const char* f : {"/m.obj", "/g.dx", "/lines.txt"}) ::unlink((dir + f).c_str());
        ::rmdir(dir.c_str());
        std::fclose(sink);
    }
};

void writeFile(const std::string& path, std::string_view bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    if (!bytes.empty()) quorax::fuzz::require(std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size());
    std::fclose(f);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace quorax;
    static Scratch scratch;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find("\n----\n");
    writeFile(scratch.dir + "/m.obj", input.substr(0, split));
    writeFile(scratch.dir + "/g.dx",
              split == std::string_view::npos ? std::string_view(kDefaultGrid) : input.substr(split + 6));
    PipelineParams params;
    params.meshPath = scratch.dir + "/m.obj";
    params.gridPath = scratch.dir + "/g.dx";
    params.linesPath = scratch.dir + "/lines.txt";
    params.density = 1.0f;
    params.haltAngle = 45.0f;
    params.reduceAngle = 3.0f;
    PipelineHooks hooks;
    hooks.generatorSeed = 1;
    for (bool reduce : {false, true}) {
        params.reduce = reduce;
        const int status = runPipeline(params, scratch.sink, scratch.sink, hooks);
        fuzz::require(status == 0 || status == 1);
    }
    return 0;
}
