#pragma once
// The main loops are SSE2 code (the baseline x86-64 build). On a processor with AVX, an SSE
// instruction keeps the upper half (bits 128 and up) of the register it writes; while code
// run before has left those halves in use, some processors make each such instruction wait
// for the register's old value, and a loop that reuses registers between its square roots
// and divisions loses its overlap. Compiled AVX code clears the halves as it leaves it
// (vzeroupper); code that does not leaves them for the next SSE code to pay for: up to twice
// the time of a pass where it was measured (docs/performance.md; bench/run_bench's _after_avx
// cases).

namespace gravlag {

// Clears the upper halves of the vector registers where the processor has AVX, before a
// stretch of a main loop: the host's code, run in between, may have left them in use. The
// lower 128 bits, all that SSE2 code keeps in them, stay as they are.
inline void ClearUpperVectorHalves()
{
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__AVX__)
    static const bool avx = __builtin_cpu_supports("avx");
    if (avx)
        asm volatile("vzeroupper");
#endif
}

} // namespace gravlag
