#pragma once
// The main loops are SSE2 code (the baseline x86-64 build). On a processor with AVX, an SSE
// instruction keeps the upper half (bits 128 and up) of the register it writes; while code
// run before has left those halves in use, some processors make each such instruction wait
// for the register's old value, and a loop that reuses registers between its square roots
// and divisions loses its overlap. Compiled AVX code clears the halves as it leaves it
// (vzeroupper); code that does not leaves them for the next SSE code to pay for. On the AMD
// EPYC of the measurements (CPU family 26), runs in the desktop program that began so took
// 5.1-5.4 ms for their passes against 2.5-3.1 ms, and bench/run_bench's _after_avx cases
// 29.3-29.7 ns a pass against 24.8-26.5.

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
