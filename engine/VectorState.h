// The engine's pixel loops are built for plain SSE2. On CPUs with AVX, such
// code runs several times slower while the upper halves of the vector
// registers hold data (every SSE instruction then waits on them), and Qt's
// drawing code can leave them so. Each hot loop clears them first.
#pragma once

namespace tovali {

inline void ClearUpperVectorState() {
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    static const bool hasAvx = __builtin_cpu_supports("avx");
    if (hasAvx) asm volatile("vzeroupper" ::: "memory");
#endif
}

}  // namespace tovali
