// Hot loops that also get an AVX2 version, picked when the program loads
// where the loader can (GNU ifunc). Windows has no ifunc: the default
// version runs there, with the same results.
#pragma once

#ifdef _WIN32
#define TOVALI_AVX2_CLONES
#else
#define TOVALI_AVX2_CLONES __attribute__((target_clones("avx2", "default")))
#endif

namespace tovali {}  // namespace tovali
