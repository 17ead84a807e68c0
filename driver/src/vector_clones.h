#pragma once

// Row loops of the decode are compiled twice on x86-64: for the baseline instruction
// set and for AVX2, picked at load time by the CPU the program runs on.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_THREAD__)
#define OSTRA_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define OSTRA_VECTOR_CLONES
#endif
