// quorax: the console pipeline, from a surface and a potential grid to a
// file of field lines. The command itself lives in console.cpp so that other
// programs can run it per frame.
#include <malloc.h>

#include <cstdio>
#include <string>
#include <vector>

#include "console.h"

int main(int argc, char** argv) {
    // One run allocates and frees a few arrays of tens of megabytes (the
    // parts of the inputs as they are parsed, the mesh, the grids). Taken
    // from the heap and kept there rather than mapped and unmapped one by
    // one, the later arrays reuse the pages of the earlier ones instead of
    // faulting in fresh zeroed pages: less system time, for a somewhat
    // higher peak. Only this one-run process sets it.
    ::mallopt(M_MMAP_THRESHOLD, 32 << 20); // the largest the allocator accepts
    ::mallopt(M_TRIM_THRESHOLD, 1 << 30);
    ::mallopt(M_TOP_PAD, 64 << 20);
    const std::vector<std::string> args(argv + 1, argv + argc);
    return quorax::runConsole(args, stdout, stderr);
}
