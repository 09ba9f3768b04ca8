// Arithmetic modulo p = 2^255 - 19 for the Ed25519 check. Internal to digest/.
//
// Two representations, one interface: five 51-bit limbs with 128-bit products where
// the compiler has unsigned __int128 (x86-64), ten limbs of 26 and 25 bits with
// 64-bit products elsewhere (i686, the product). NIMBREL_FIELD25519_32 picks the
// second anywhere, so that the native tests run both.
//
// Contract: every operation takes and returns "tight" elements, whose limbs lie
// within their width (limb 1 may exceed it by a little after a carry); values need
// not be below p until ToBytes. Verification handles public data only, so nothing
// here is constant-time.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__SIZEOF_INT128__) && !defined(NIMBREL_FIELD25519_32)
#define NIMBREL_FIELD25519_51 1
#endif

namespace field25519 {

#if NIMBREL_FIELD25519_51
using Limb = uint64_t;
using Wide = unsigned __int128;
constexpr int kLimbs = 5;
constexpr int Width(int) { return 51; }
#else
using Limb = uint32_t;
using Wide = uint64_t;
constexpr int kLimbs = 10;
// Limb i starts at bit ceil(25.5 i): 26 bits wide at even i, 25 at odd i.
constexpr int Width(int i) { return 26 - (i & 1); }
#endif

constexpr Limb Mask(int i) { return (Limb{1} << Width(i)) - 1; }

struct Fe {
    Limb v[kLimbs];
};

// Brings every limb within its width; a carry out of the top limb comes back as 19
// times itself (2^255 = 19 mod p).
inline void Carry(Fe& f) {
#pragma GCC unroll 10
    for (int i = 0; i < kLimbs; ++i) {
        const Limb c = f.v[i] >> Width(i);
        f.v[i] &= Mask(i);
        if (i + 1 < kLimbs) {
            f.v[i + 1] += c;
        } else {
            f.v[0] += 19 * c;
        }
    }
    f.v[1] += f.v[0] >> Width(0);
    f.v[0] &= Mask(0);
}

inline Fe Add(const Fe& f, const Fe& g) {
    Fe h;
#pragma GCC unroll 10
    for (int i = 0; i < kLimbs; ++i) h.v[i] = f.v[i] + g.v[i];
    Carry(h);
    return h;
}

// f + 2p - g limb by limb, so that no limb goes below zero for a tight g.
inline Fe Sub(const Fe& f, const Fe& g) {
    Fe h;
#pragma GCC unroll 10
    for (int i = 0; i < kLimbs; ++i) h.v[i] = f.v[i] + 2 * (Mask(i) - (i == 0 ? 18 : 0)) - g.v[i];
    Carry(h);
    return h;
}

// Products land in wide accumulators: limb i times limb j belongs at limb i + j
// (less kLimbs, times 19, past the top); with 25.5-bit limbs, two odd limbs give
// twice their product, since ceil(25.5 i) + ceil(25.5 j) is then one more than
// ceil(25.5 (i + j)). Tight inputs keep every sum below 2^61 (32-bit limbs) or
// 2^112 (51-bit limbs).
inline Fe CarryWide(Wide* h) {
#pragma GCC unroll 10
    for (int i = 0; i < kLimbs; ++i) {
        const Wide c = h[i] >> Width(i);
        h[i] &= Mask(i);
        if (i + 1 < kLimbs) {
            h[i + 1] += c;
        } else {
            h[0] += 19 * c;
        }
    }
    h[1] += h[0] >> Width(0);
    h[0] &= Mask(0);
    Fe f;
#pragma GCC unroll 10
    for (int i = 0; i < kLimbs; ++i) f.v[i] = static_cast<Limb>(h[i]);
    return f;
}

constexpr Wide Doubling(int i, int j) { return (kLimbs == 10 && (i & j & 1)) ? 2 : 1; }

inline Fe Mul(const Fe& f, const Fe& g) {
    Limb g19[kLimbs];
#pragma GCC unroll 10
    for (int j = 0; j < kLimbs; ++j) g19[j] = 19 * g.v[j];
    Wide h[kLimbs] = {};
#pragma GCC unroll 10
    for (int i = 0; i < kLimbs; ++i) {
#pragma GCC unroll 10
        for (int j = 0; j < kLimbs; ++j) {
            const Wide product = Wide{f.v[i]} * (i + j < kLimbs ? g.v[j] : g19[j]);
            h[(i + j) % kLimbs] += product * Doubling(i, j);
        }
    }
    return CarryWide(h);
}

// Mul(f, f) with each cross product counted once, doubled.
inline Fe Sq(const Fe& f) {
    Limb f2[kLimbs], f19[kLimbs], f38[kLimbs];
#pragma GCC unroll 10
    for (int j = 0; j < kLimbs; ++j) {
        f2[j] = 2 * f.v[j];
        f19[j] = 19 * f.v[j];
        f38[j] = 38 * f.v[j];
    }
    Wide h[kLimbs] = {};
#pragma GCC unroll 10
    for (int i = 0; i < kLimbs; ++i) {
#pragma GCC unroll 10
        for (int j = i; j < kLimbs; ++j) {
            const Limb other = i + j < kLimbs ? (i == j ? f.v[j] : f2[j]) : (i == j ? f19[j] : f38[j]);
            h[(i + j) % kLimbs] += Wide{f.v[i]} * other * Doubling(i, j);
        }
    }
    return CarryWide(h);
}

inline Fe SqTimes(Fe f, int times) {
    for (int i = 0; i < times; ++i) f = Sq(f);
    return f;
}

// The 255 low bits of 32 little-endian bytes; the top bit is the caller's (the
// sign of x in a point's encoding). Values from p up are taken as they are.
inline Fe FromBytes(const uint8_t* s) {
    Fe f;
    uint64_t bits = 0;  // read but not yet placed, at most 58
    int count = 0, next = 0;
    for (int i = 0; i < kLimbs; ++i) {
        for (; count < Width(i); count += 8) bits |= uint64_t{s[next++]} << count;
        f.v[i] = static_cast<Limb>(bits & Mask(i));
        bits >>= Width(i);
        count -= Width(i);
    }
    return f;
}

// The canonical encoding: the value reduced below p, little-endian.
inline void ToBytes(Fe f, uint8_t* s) {
    Carry(f);
    Carry(f);  // now every limb within its width and the value below 2^255
    // The value is at least p exactly when adding 19 carries out of bit 255.
    Limb q = (f.v[0] + 19) >> Width(0);
    for (int i = 1; i < kLimbs; ++i) q = (f.v[i] + q) >> Width(i);
    f.v[0] += 19 * q;
    for (int i = 0; i + 1 < kLimbs; ++i) {
        f.v[i + 1] += f.v[i] >> Width(i);
        f.v[i] &= Mask(i);
    }
    f.v[kLimbs - 1] &= Mask(kLimbs - 1);  // drops the 2^255 that q times p added
    uint64_t bits = 0;  // placed but not yet written, at most 58
    int count = 0, next = 0;
    for (int i = 0; i < kLimbs; ++i) {
        bits |= uint64_t{f.v[i]} << count;
        for (count += Width(i); count >= 8; count -= 8, bits >>= 8) s[next++] = static_cast<uint8_t>(bits);
    }
    s[next] = static_cast<uint8_t>(bits);  // bits 248 to 254
}

}  // namespace field25519
