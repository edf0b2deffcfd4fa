#include "core/lane_group.h"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cstdint>
#include <memory>

#include "core/pass.h"

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define GRAVLAG_X86_LANES 1
#include <immintrin.h>
#endif

namespace gravlag {

#if GRAVLAG_X86_LANES

// Each instruction set's lanes are compiled for it alone, function by function; the rest of
// the program stays plain x86-64 and runs them only where the processor has them. FMA is not
// enabled: no multiply and add may fuse.
#pragma GCC push_options
#pragma GCC target("avx2")
namespace avx2 {

struct V {
    static constexpr int kWidth = 4;
    using Reg = __m256d;
    using Mask = __m256d; // all bits set in a lane that holds
    using Index = __m128i;
    static Reg load(const double* p) { return _mm256_load_pd(p); }
    static void store(double* p, Reg v) { _mm256_store_pd(p, v); }
    static Reg set1(double v) { return _mm256_set1_pd(v); }
    static Reg add(Reg a, Reg b) { return _mm256_add_pd(a, b); }
    static Reg sub(Reg a, Reg b) { return _mm256_sub_pd(a, b); }
    static Reg mul(Reg a, Reg b) { return _mm256_mul_pd(a, b); }
    static Reg div(Reg a, Reg b) { return _mm256_div_pd(a, b); }
    static Reg sqrt(Reg a) { return _mm256_sqrt_pd(a); }
    static Reg floor(Reg a) { return _mm256_round_pd(a, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC); }
    static Mask lt(Reg a, Reg b) { return _mm256_cmp_pd(a, b, _CMP_LT_OQ); }
    static Mask le(Reg a, Reg b) { return _mm256_cmp_pd(a, b, _CMP_LE_OQ); }
    static Mask gt(Reg a, Reg b) { return _mm256_cmp_pd(a, b, _CMP_GT_OQ); }
    static Mask ge(Reg a, Reg b) { return _mm256_cmp_pd(a, b, _CMP_GE_OQ); }
    static Mask eq(Reg a, Reg b) { return _mm256_cmp_pd(a, b, _CMP_EQ_OQ); }
    static Mask both(Mask a, Mask b) { return _mm256_and_pd(a, b); }
    static Mask isSet(Reg a) { return a; }
    static Mask finite(Reg a)
    {
        return le(_mm256_andnot_pd(_mm256_set1_pd(-0.0), a), _mm256_set1_pd(DBL_MAX));
    }
    static Reg select(Mask m, Reg a, Reg b) { return _mm256_blendv_pd(b, a, m); }
    static unsigned bits(Mask m) { return static_cast<unsigned>(_mm256_movemask_pd(m)); }
    static Mask fromBits(unsigned bits)
    {
        const __m256i lane = _mm256_setr_epi64x(1, 2, 4, 8);
        const __m256i set = _mm256_and_si256(_mm256_set1_epi64x(bits), lane);
        return _mm256_castsi256_pd(_mm256_cmpeq_epi64(set, lane));
    }
    // The element of every lane's slot (head + n) & 31 in a [slot][lane] table; n whole, 0..20.
    static Index slots(Reg n, unsigned head)
    {
        __m128i s = _mm_add_epi32(_mm256_cvttpd_epi32(n), _mm_set1_epi32(static_cast<int>(head)));
        s = _mm_and_si128(s, _mm_set1_epi32(PositionHistory::kRing - 1));
        return _mm_add_epi32(_mm_slli_epi32(s, 2), _mm_setr_epi32(0, 1, 2, 3));
    }
    static Reg gather(const double* table, Index at)
    {
        const __m256d all = _mm256_castsi256_pd(_mm256_set1_epi64x(-1));
        return _mm256_mask_i32gather_pd(_mm256_setzero_pd(), table, at, all, 8);
    }
};

#include "core/lane_kernel.inc"

} // namespace avx2
#pragma GCC pop_options

#pragma GCC push_options
#pragma GCC target("avx2,avx512f")
namespace avx512 {

struct V {
    static constexpr int kWidth = 8;
    using Reg = __m512d;
    using Mask = __mmask8;
    using Index = __m256i;
    static Reg load(const double* p) { return _mm512_load_pd(p); }
    static void store(double* p, Reg v) { _mm512_store_pd(p, v); }
    static Reg set1(double v) { return _mm512_set1_pd(v); }
    static Reg add(Reg a, Reg b) { return _mm512_add_pd(a, b); }
    static Reg sub(Reg a, Reg b) { return _mm512_sub_pd(a, b); }
    static Reg mul(Reg a, Reg b) { return _mm512_mul_pd(a, b); }
    static Reg div(Reg a, Reg b) { return _mm512_div_pd(a, b); }
    // The masked forms, with every lane set, name their other operand: GCC 12 warns of the
    // plain forms' undefined one.
    static Reg sqrt(Reg a) { return _mm512_mask_sqrt_pd(_mm512_setzero_pd(), 0xFF, a); }
    static Reg floor(Reg a)
    {
        return _mm512_mask_roundscale_pd(_mm512_setzero_pd(), 0xFF, a,
                                         _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
    }
    static Mask lt(Reg a, Reg b) { return _mm512_cmp_pd_mask(a, b, _CMP_LT_OQ); }
    static Mask le(Reg a, Reg b) { return _mm512_cmp_pd_mask(a, b, _CMP_LE_OQ); }
    static Mask gt(Reg a, Reg b) { return _mm512_cmp_pd_mask(a, b, _CMP_GT_OQ); }
    static Mask ge(Reg a, Reg b) { return _mm512_cmp_pd_mask(a, b, _CMP_GE_OQ); }
    static Mask eq(Reg a, Reg b) { return _mm512_cmp_pd_mask(a, b, _CMP_EQ_OQ); }
    static Mask both(Mask a, Mask b) { return static_cast<Mask>(a & b); }
    static Mask isSet(Reg a)
    {
        const __m512i bits = _mm512_castpd_si512(a);
        return _mm512_test_epi64_mask(bits, bits);
    }
    static Mask finite(Reg a) { return le(_mm512_abs_pd(a), _mm512_set1_pd(DBL_MAX)); }
    static Reg select(Mask m, Reg a, Reg b) { return _mm512_mask_blend_pd(m, b, a); }
    static unsigned bits(Mask m) { return m; }
    static Mask fromBits(unsigned bits) { return static_cast<Mask>(bits); }
    static Index slots(Reg n, unsigned head)
    {
        const __m256i whole = _mm512_mask_cvttpd_epi32(_mm256_setzero_si256(), 0xFF, n);
        __m256i s = _mm256_add_epi32(whole, _mm256_set1_epi32(static_cast<int>(head)));
        s = _mm256_and_si256(s, _mm256_set1_epi32(PositionHistory::kRing - 1));
        return _mm256_add_epi32(_mm256_slli_epi32(s, 3), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
    }
    static Reg gather(const double* table, Index at)
    {
        return _mm512_mask_i32gather_pd(_mm512_setzero_pd(), 0xFF, at, table, 8);
    }
};

#include "core/lane_kernel.inc"

} // namespace avx512
#pragma GCC pop_options

namespace {

template <template <class, int, bool, RetardationMethod> class Group, class V>
std::unique_ptr<LaneGroup> MakeFor(const LaneKey& key)
{
    using enum RetardationMethod;
    const auto pick = [&]<int Last>() -> std::unique_ptr<LaneGroup> {
        if (key.method == HistoryLookup)
            return key.delayed ? std::unique_ptr<LaneGroup>(new Group<V, Last, true, HistoryLookup>)
                               : std::unique_ptr<LaneGroup>(new Group<V, Last, false, HistoryLookup>);
        return key.delayed ? std::unique_ptr<LaneGroup>(new Group<V, Last, true, VelocityEstimate>)
                           : std::unique_ptr<LaneGroup>(new Group<V, Last, false, VelocityEstimate>);
    };
    if (key.last <= 0)
        return pick.template operator()<0>();
    if (key.last == 1)
        return pick.template operator()<1>();
    return pick.template operator()<2>();
}

} // namespace

int LaneGroup::WidestLanes()
{
    static const int widest = __builtin_cpu_supports("avx512f") ? 8
        : __builtin_cpu_supports("avx2")                          ? 4
                                                                  : 1;
    return widest;
}

std::unique_ptr<LaneGroup> LaneGroup::Make(const LaneKey& key, int width)
{
    if (width == 8 && WidestLanes() >= 8)
        return MakeFor<avx512::Lanes, avx512::V>(key);
    if (width == 4 && WidestLanes() >= 4)
        return MakeFor<avx2::Lanes, avx2::V>(key);
    return nullptr;
}

#else

int LaneGroup::WidestLanes() { return 1; }
std::unique_ptr<LaneGroup> LaneGroup::Make(const LaneKey&, int) { return nullptr; }

#endif

} // namespace gravlag
