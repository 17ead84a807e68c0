#include "lookup_vbmi.h"

#include <atomic>
#include <cstring>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define OSTRA_HAVE_VBMI_PATH 1
#endif

namespace ostra {

#ifdef OSTRA_HAVE_VBMI_PATH

namespace {
bool cpuHasVbmi() {
    static const bool has = __builtin_cpu_supports("avx512f") &&
                            __builtin_cpu_supports("avx512bw") &&
                            __builtin_cpu_supports("avx512vbmi");
    return has;
}
std::atomic<bool> enabled{true};
}  // namespace

bool vbmiAvailable() {
    return enabled.load(std::memory_order_relaxed) && cpuHasVbmi();
}
void setVbmiEnabled(bool on) {
    enabled.store(on, std::memory_order_relaxed);
}

namespace {

#define OSTRA_VBMI __attribute__((target("avx512f,avx512bw,avx512vbmi")))

struct Table {
    __m512i lo0, lo1, hi0, hi1;  // entries 0-63, 64-127, 128-191, 192-255
};

OSTRA_VBMI inline Table loadTable(const std::uint8_t* t) {
    return {_mm512_loadu_si512(t), _mm512_loadu_si512(t + 64), _mm512_loadu_si512(t + 128),
            _mm512_loadu_si512(t + 192)};
}

// 64 lookups: the low seven bits pick within a half of the table, the top bit the half.
OSTRA_VBMI inline __m512i lookUp(const Table& t, __m512i index) {
    const __m512i low = _mm512_permutex2var_epi8(t.lo0, index, t.lo1);
    const __m512i high = _mm512_permutex2var_epi8(t.hi0, index, t.hi1);
    return _mm512_mask_blend_epi8(_mm512_movepi8_mask(index), low, high);
}

// Byte permutes that interleave three planes of 64 into 192 bytes: for output chunk
// j, byte i is channel (64j + i) % 3 of pixel (64j + i) / 3.
struct Interleave {
    __m512i blueGreen[3];  // from blue (0..63) and green (64..127)
    __m512i red[3];
    __mmask64 redBytes[3];
};

const Interleave& interleave() {
    static const Interleave table = [] {
        Interleave t{};
        for (int j = 0; j < 3; ++j) {
            alignas(64) std::uint8_t bg[64], rr[64];
            std::uint64_t mask = 0;
            for (int i = 0; i < 64; ++i) {
                const int p = 64 * j + i, pixel = p / 3, channel = p % 3;
                bg[i] = static_cast<std::uint8_t>(channel == 0   ? pixel
                                                  : channel == 1 ? 64 + pixel
                                                                 : 0);
                rr[i] = static_cast<std::uint8_t>(channel == 2 ? pixel : 0);
                if (channel == 2) mask |= std::uint64_t{1} << i;
            }
            std::memcpy(&t.blueGreen[j], bg, 64);
            std::memcpy(&t.red[j], rr, 64);
            t.redBytes[j] = mask;
        }
        return t;
    }();
    return table;
}

}  // namespace

OSTRA_VBMI int lookUpRowVbmi(const std::uint8_t* b, const std::uint8_t* g, const std::uint8_t* r,
                             std::uint8_t* out, int w, const std::uint8_t* tb,
                             const std::uint8_t* tg, const std::uint8_t* tr, bool flip) {
    const Table blue = loadTable(tb), green = loadTable(tg), red = loadTable(tr);
    const Interleave& il = interleave();
    alignas(64) std::uint8_t reverse[64];
    for (int i = 0; i < 64; ++i) reverse[i] = static_cast<std::uint8_t>(63 - i);
    const __m512i reversed = _mm512_load_si512(reverse);
    int c = 0;
    for (; c + 64 <= w; c += 64) {
        const int at = flip ? w - c - 64 : c;
        __m512i bi = _mm512_loadu_si512(b + at), gi = _mm512_loadu_si512(g + at),
                ri = _mm512_loadu_si512(r + at);
        if (flip) {
            // The zero-masking form with every lane selected: the plain form trips a
            // false uninitialised warning in the compiler's own header.
            const __mmask64 all = ~__mmask64{0};
            bi = _mm512_maskz_permutexvar_epi8(all, reversed, bi);
            gi = _mm512_maskz_permutexvar_epi8(all, reversed, gi);
            ri = _mm512_maskz_permutexvar_epi8(all, reversed, ri);
        }
        const __m512i bo = lookUp(blue, bi), go = lookUp(green, gi), ro = lookUp(red, ri);
        for (int j = 0; j < 3; ++j) {
            __m512i v = _mm512_permutex2var_epi8(bo, il.blueGreen[j], go);
            v = _mm512_mask_permutexvar_epi8(v, il.redBytes[j], il.red[j], ro);
            _mm512_storeu_si512(out + 3 * c + 64 * j, v);
        }
    }
    return c;
}

#else

bool vbmiAvailable() {
    return false;
}
void setVbmiEnabled(bool) {}
int lookUpRowVbmi(const std::uint8_t*, const std::uint8_t*, const std::uint8_t*, std::uint8_t*, int,
                  const std::uint8_t*, const std::uint8_t*, const std::uint8_t*, bool) {
    return 0;
}

#endif

}  // namespace ostra
