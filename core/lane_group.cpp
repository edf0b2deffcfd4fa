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
    // The slot (head + n) & 31 of every lane; n whole, 0..20.
    static void slotsOf(Reg n, unsigned head, unsigned* slot)
    {
        __m128i s = _mm_add_epi32(_mm256_cvttpd_epi32(n), _mm_set1_epi32(static_cast<int>(head)));
        s = _mm_and_si128(s, _mm_set1_epi32(PositionHistory::kRing - 1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(slot), s);
    }
    // From a [slot][lane][4] table of (x, y, slope x, slope y): every lane's four at its slot,
    // one load a lane and a transpose (a gather a row costs several times more).
    [[gnu::always_inline]] static void fetch(const double* table, const unsigned* slot, Reg& x, Reg& y, Reg& sx, Reg& sy)
    {
        const auto at = [&](int l) { return _mm256_load_pd(table + (slot[l] * kWidth + static_cast<unsigned>(l)) * 4); };
        const __m256d l0 = at(0), l1 = at(1), l2 = at(2), l3 = at(3);
        const __m256d xs01 = _mm256_unpacklo_pd(l0, l1), ys01 = _mm256_unpackhi_pd(l0, l1);
        const __m256d xs23 = _mm256_unpacklo_pd(l2, l3), ys23 = _mm256_unpackhi_pd(l2, l3);
        x = _mm256_permute2f128_pd(xs01, xs23, 0x20);
        sx = _mm256_permute2f128_pd(xs01, xs23, 0x31);
        y = _mm256_permute2f128_pd(ys01, ys23, 0x20);
        sy = _mm256_permute2f128_pd(ys01, ys23, 0x31);
    }
    // The other way: every lane's four into a [lane][4] row.
    [[gnu::always_inline]] static void put(double* row, Reg x, Reg y, Reg sx, Reg sy)
    {
        const __m256d x01 = _mm256_permute2f128_pd(x, sx, 0x20), x23 = _mm256_permute2f128_pd(x, sx, 0x31);
        const __m256d y01 = _mm256_permute2f128_pd(y, sy, 0x20), y23 = _mm256_permute2f128_pd(y, sy, 0x31);
        _mm256_store_pd(row, _mm256_unpacklo_pd(x01, y01));
        _mm256_store_pd(row + 4, _mm256_unpackhi_pd(x01, y01));
        _mm256_store_pd(row + 8, _mm256_unpacklo_pd(x23, y23));
        _mm256_store_pd(row + 12, _mm256_unpackhi_pd(x23, y23));
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
    static void slotsOf(Reg n, unsigned head, unsigned* slot)
    {
        const __m256i whole = _mm512_mask_cvttpd_epi32(_mm256_setzero_si256(), 0xFF, n);
        __m256i s = _mm256_add_epi32(whole, _mm256_set1_epi32(static_cast<int>(head)));
        s = _mm256_and_si256(s, _mm256_set1_epi32(PositionHistory::kRing - 1));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(slot), s);
    }
    [[gnu::always_inline]] static void fetch(const double* table, const unsigned* slot, Reg& x, Reg& y, Reg& sx, Reg& sy)
    {
        const auto at = [&](int l) { return _mm256_load_pd(table + (slot[l] * kWidth + static_cast<unsigned>(l)) * 4); };
        const auto two = [&](int a, int b) {
            const __m512d low = _mm512_castpd256_pd512(at(a));
            return _mm512_mask_insertf64x4(low, 0xFF, low, at(b), 1);
        };
        const __m512d l01 = two(0, 1), l23 = two(2, 3), l45 = two(4, 5), l67 = two(6, 7);
        // (x0..x3, y0..y3) and (sx0..sx3, sy0..sy3) from lanes 0..3; so for 4..7.
        const __m512i xy = _mm512_setr_epi64(0, 4, 8, 12, 1, 5, 9, 13);
        const __m512i slopes = _mm512_setr_epi64(2, 6, 10, 14, 3, 7, 11, 15);
        const __m512d xy03 = _mm512_permutex2var_pd(l01, xy, l23), s03 = _mm512_permutex2var_pd(l01, slopes, l23);
        const __m512d xy47 = _mm512_permutex2var_pd(l45, xy, l67), s47 = _mm512_permutex2var_pd(l45, slopes, l67);
        x = _mm512_mask_shuffle_f64x2(xy03, 0xFF, xy03, xy47, 0x44);
        y = _mm512_mask_shuffle_f64x2(xy03, 0xFF, xy03, xy47, 0xEE);
        sx = _mm512_mask_shuffle_f64x2(s03, 0xFF, s03, s47, 0x44);
        sy = _mm512_mask_shuffle_f64x2(s03, 0xFF, s03, s47, 0xEE);
    }
    [[gnu::always_inline]] static void put(double* row, Reg x, Reg y, Reg sx, Reg sy)
    {
        const __m512i low = _mm512_setr_epi64(0, 8, 1, 9, 2, 10, 3, 11);
        const __m512i high = _mm512_setr_epi64(4, 12, 5, 13, 6, 14, 7, 15);
        const __m512d xy03 = _mm512_permutex2var_pd(x, low, y), xy47 = _mm512_permutex2var_pd(x, high, y);
        const __m512d s03 = _mm512_permutex2var_pd(sx, low, sy), s47 = _mm512_permutex2var_pd(sx, high, sy);
        const __m512i first = _mm512_setr_epi64(0, 1, 8, 9, 2, 3, 10, 11);
        const __m512i second = _mm512_setr_epi64(4, 5, 12, 13, 6, 7, 14, 15);
        _mm512_store_pd(row, _mm512_permutex2var_pd(xy03, first, s03));
        _mm512_store_pd(row + 8, _mm512_permutex2var_pd(xy03, second, s03));
        _mm512_store_pd(row + 16, _mm512_permutex2var_pd(xy47, first, s47));
        _mm512_store_pd(row + 24, _mm512_permutex2var_pd(xy47, second, s47));
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
