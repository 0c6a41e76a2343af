// Large arrays that a step fills at once are asked to sit on huge pages
// before their first touch: far fewer page faults (one per 2 MB instead of
// one per 4 kB) for the same bytes.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quorax {

// Advises huge pages for the whole 2 MB pages inside [data, data + bytes)
// when the range is large enough to hold some; only a hint, never an error.
inline void adviseHugePages(const void* data, std::size_t bytes) {
    if (bytes < (std::size_t{4} << 20)) return;
    // madvise wants page-aligned bounds: the whole huge pages inside the range.
    constexpr std::uintptr_t huge = std::uintptr_t{2} << 20;
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (begin + huge - 1) & ~(huge - 1);
    const std::uintptr_t last = (begin + bytes) & ~(huge - 1);
    if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

// Reserves room for n elements in an empty vector, on huge pages when large.
template <class T> void reserveOnHugePages(std::vector<T>& v, std::size_t n) {
    v.reserve(n);
    adviseHugePages(v.data(), n * sizeof(T));
}

} // namespace quorax
