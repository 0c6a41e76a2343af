// quorax: the console pipeline, from a surface and a potential grid to a
// file of field lines. The command itself lives in console.cpp so that other
// programs can run it per frame.
#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "console.h"
#include "huge_pages.h"

namespace {

// Every thread allocates from the one heap, and the heap's first 240 MB sit
// on huge pages: the parts of the inputs that the threads parse and the
// batches of lines then take pages of 2 MB instead of 4 kB (one fault
// instead of 512), and later arrays reuse the pages of earlier ones. The
// heap is grown by blocks that it keeps (below the mapping threshold), then
// given back to it untouched.
void heapOnHugePages() {
    ::mallopt(M_ARENA_MAX, 1);
    constexpr std::size_t block = 30 << 20;
    void* blocks[8];
    for (void*& b : blocks) b = std::malloc(block);
    const char* low = static_cast<const char*>(blocks[0]);
    const char* high = static_cast<const char*>(::sbrk(0));
    bool inHeap = low != nullptr;
    for (void* b : blocks) {
        inHeap = inHeap && b && static_cast<const char*>(b) >= low && static_cast<const char*>(b) + block <= high;
        std::free(b);
    }
    if (inHeap) quorax::adviseHugePages(low, static_cast<std::size_t>(high - low));
}

} // namespace

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
    heapOnHugePages();
    const std::vector<std::string> args(argv + 1, argv + argc);
    return quorax::runConsole(args, stdout, stderr);
}
