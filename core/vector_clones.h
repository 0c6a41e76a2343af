// Hot loops over plain floats compiled twice: for the processor the build
// targets and for processors with AVX2, the copy taken chosen once when the
// program starts. Only the width of the vector instructions differs; every
// float sees the same IEEE operations in the same order (contraction into
// fused multiply-adds is off for the whole project), so results are the same
// bits on every machine. With GCC everything the function calls is inlined
// into it, so that its callees are compiled for the same target.
#pragma once

#if defined(__x86_64__) && defined(__ELF__) && defined(__clang__) && !defined(QUORAX_NO_VECTOR_CLONES)
// clang takes no `flatten` beside the clones; it inlines the small callees itself.
#define QUORAX_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#elif defined(__x86_64__) && defined(__ELF__) && defined(__GNUC__) && !defined(QUORAX_NO_VECTOR_CLONES)
#define QUORAX_VECTOR_CLONES __attribute__((target_clones("avx2", "default"), flatten))
#else
#define QUORAX_VECTOR_CLONES
#endif
