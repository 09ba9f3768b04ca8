#include "digest/ed25519.h"

#include <cstring>

#include "digest/field25519.h"
#include "digest/sha2.h"

namespace {

using field25519::Add;
using field25519::Fe;
using field25519::FromBytes;
using field25519::Mul;
using field25519::Sq;
using field25519::SqTimes;
using field25519::Sub;
using field25519::ToBytes;

// Constants of RFC 8032, 5.1, little-endian.
constexpr uint8_t kD[32] = {  // d = -121665/121666
    0xa3, 0x78, 0x59, 0x13, 0xca, 0x4d, 0xeb, 0x75, 0xab, 0xd8, 0x41, 0x41, 0x4d, 0x0a, 0x70, 0x00,
    0x98, 0xe8, 0x79, 0x77, 0x79, 0x40, 0xc7, 0x8c, 0x73, 0xfe, 0x6f, 0x2b, 0xee, 0x6c, 0x03, 0x52};
constexpr uint8_t kD2[32] = {  // 2d
    0x59, 0xf1, 0xb2, 0x26, 0x94, 0x9b, 0xd6, 0xeb, 0x56, 0xb1, 0x83, 0x82, 0x9a, 0x14, 0xe0, 0x00,
    0x30, 0xd1, 0xf3, 0xee, 0xf2, 0x80, 0x8e, 0x19, 0xe7, 0xfc, 0xdf, 0x56, 0xdc, 0xd9, 0x06, 0x24};
constexpr uint8_t kSqrtMinus1[32] = {  // 2^((p-1)/4)
    0xb0, 0xa0, 0x0e, 0x4a, 0x27, 0x1b, 0xee, 0xc4, 0x78, 0xe4, 0x2f, 0xad, 0x06, 0x18, 0x43, 0x2f,
    0xa7, 0xd7, 0xfb, 0x3d, 0x99, 0x00, 0x4d, 0x2b, 0x0b, 0xdf, 0xc1, 0x4f, 0x80, 0x24, 0x83, 0x2b};
constexpr uint8_t kBaseX[32] = {
    0x1a, 0xd5, 0x25, 0x8f, 0x60, 0x2d, 0x56, 0xc9, 0xb2, 0xa7, 0x25, 0x95, 0x60, 0xc7, 0x2c, 0x69,
    0x5c, 0xdc, 0xd6, 0xfd, 0x31, 0xe2, 0xa4, 0xc0, 0xfe, 0x53, 0x6e, 0xcd, 0xd3, 0x36, 0x69, 0x21};
constexpr uint8_t kBaseY[32] = {  // 4/5
    0x58, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66,
    0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66};
// y of two points of order 8; the other two have p minus it. The remaining points
// of small order have y = 0 (order 4), -1 (order 2) and 1 (the neutral point).
constexpr uint8_t kOrder8Y[32] = {
    0x26, 0xe8, 0x95, 0x8f, 0xc2, 0xb2, 0x27, 0xb0, 0x45, 0xc3, 0xf4, 0x89, 0xf2, 0xef, 0x98, 0xf0,
    0xd5, 0xdf, 0xac, 0x05, 0xd3, 0xc6, 0x33, 0x39, 0xb1, 0x38, 0x02, 0x88, 0x6d, 0x53, 0xfc, 0x05};

// The group order L = 2^252 + 27742317777372353535851937790883648493 and the Barrett
// factor floor(2^512 / L), in 32-bit words, least significant first.
constexpr uint32_t kOrder[9] = {0x5cf5d3ed, 0x5812631a, 0xa2f79cd6, 0x14def9de, 0, 0, 0, 0x10000000, 0};
constexpr uint32_t kBarrett[9] = {0x0a2c131b, 0xed9ce5a3, 0x086329a7, 0x2106215d, 0xffffffeb,
                                  0xffffffff, 0xffffffff, 0xffffffff, 0x0000000f};

Fe One() {
    Fe f{};
    f.v[0] = 1;
    return f;
}

Fe Neg(const Fe& f) { return Sub(Fe{}, f); }

bool Equal(const Fe& f, const Fe& g) {
    uint8_t a[32], b[32];
    ToBytes(f, a);
    ToBytes(g, b);
    return std::memcmp(a, b, 32) == 0;
}

bool IsNegative(const Fe& f) {  // odd, in RFC 8032's terms
    uint8_t s[32];
    ToBytes(f, s);
    return (s[0] & 1) != 0;
}

// z^(2^250 - 1), and z^11 on the way: the addition chain of the Curve25519 paper.
Fe Pow2To250Less1(const Fe& z, Fe& z11) {
    const Fe z2 = Sq(z);
    const Fe z9 = Mul(SqTimes(z2, 2), z);
    z11 = Mul(z9, z2);
    const Fe z5 = Mul(Sq(z11), z9);  // z^(2^5 - 1)
    const Fe z10 = Mul(SqTimes(z5, 5), z5);
    const Fe z20 = Mul(SqTimes(z10, 10), z10);
    const Fe z40 = Mul(SqTimes(z20, 20), z20);
    const Fe z50 = Mul(SqTimes(z40, 10), z10);
    const Fe z100 = Mul(SqTimes(z50, 50), z50);
    const Fe z200 = Mul(SqTimes(z100, 100), z100);
    return Mul(SqTimes(z200, 50), z50);
}

Fe Invert(const Fe& z) {  // z^(p-2) = z^(2^255 - 21)
    Fe z11;
    const Fe t = Pow2To250Less1(z, z11);
    return Mul(SqTimes(t, 5), z11);
}

Fe PowP58(const Fe& z) {  // z^((p-5)/8) = z^(2^252 - 3)
    Fe z11;
    const Fe t = Pow2To250Less1(z, z11);
    return Mul(SqTimes(t, 2), z);
}

// Points in the coordinates of Hisil et al. (RFC 8032, 5.1.4), a = -1:
// projective (X:Y:Z), extended (X:Y:Z:T) with XY = ZT, completed ones
// (x = X/Z, y = Y/T) that sums and doublings produce, and a point cached for adding.
struct P2 {
    Fe X, Y, Z;
};
struct P3 {
    Fe X, Y, Z, T;
};
struct P1P1 {
    Fe X, Y, Z, T;
};
struct Cached {
    Fe YplusX, YminusX, Z, T2d;
};

P2 ToP2(const P1P1& p) { return {Mul(p.X, p.T), Mul(p.Y, p.Z), Mul(p.Z, p.T)}; }
P3 ToP3(const P1P1& p) { return {Mul(p.X, p.T), Mul(p.Y, p.Z), Mul(p.Z, p.T), Mul(p.X, p.Y)}; }
Cached ToCached(const P3& p) { return {Add(p.Y, p.X), Sub(p.Y, p.X), p.Z, Mul(p.T, FromBytes(kD2))}; }

P1P1 Double(const P2& p) {
    const Fe a = Sq(p.X), b = Sq(p.Y), zz = Sq(p.Z);
    const Fe h = Add(a, b), g = Sub(a, b);
    // x = E/G, y = H/F with E = H - (X+Y)^2, F = 2Z^2 + G.
    return {Sub(h, Sq(Add(p.X, p.Y))), h, g, Add(Add(zz, zz), g)};
}

// p + q, or p - q.
P1P1 AddCached(const P3& p, const Cached& q, bool subtract) {
    const Fe a = Mul(Sub(p.Y, p.X), subtract ? q.YplusX : q.YminusX);
    const Fe b = Mul(Add(p.Y, p.X), subtract ? q.YminusX : q.YplusX);
    const Fe c = Mul(p.T, q.T2d);
    Fe d = Mul(p.Z, q.Z);
    d = Add(d, d);
    // x = E/G, y = H/F with E = B - A, H = B + A, G = D + C, F = D - C (C negated for p - q).
    const Fe dPlusC = Add(d, c), dMinusC = Sub(d, c);
    return {Sub(b, a), Add(b, a), subtract ? dMinusC : dPlusC, subtract ? dPlusC : dMinusC};
}

// RFC 8032, 5.1.3. The caller has checked that y is canonical.
bool Decompress(const uint8_t* s, P3& point) {
    const Fe y = FromBytes(s), one = One();
    const Fe yy = Sq(y);
    const Fe u = Sub(yy, one), v = Add(Mul(yy, FromBytes(kD)), one);
    const Fe v3 = Mul(Sq(v), v);
    Fe x = Mul(Mul(u, v3), PowP58(Mul(Mul(u, v), Sq(v3))));  // u v^3 (u v^7)^((p-5)/8)
    const Fe vxx = Mul(v, Sq(x));
    if (!Equal(vxx, u)) {
        if (!Equal(vxx, Neg(u))) return false;  // no square root: not on the curve
        x = Mul(x, FromBytes(kSqrtMinus1));
    }
    const bool negative = (s[31] >> 7) != 0;
    if (negative && Equal(x, Fe{})) return false;
    if (IsNegative(x) != negative) x = Neg(x);
    point = {x, y, one, Mul(x, y)};
    return true;
}

void Encode(const P2& p, uint8_t* s) {
    const Fe zInverse = Invert(p.Z);
    const Fe x = Mul(p.X, zInverse);
    ToBytes(Mul(p.Y, zInverse), s);
    if (IsNegative(x)) s[31] |= 0x80;
}

// Whether the encoding, sign bit aside and y taken modulo p, is of a point of order
// 1, 2, 4 or 8. Non-canonical aliases (y = p, p + 1) count as what they stand for.
bool HasSmallOrder(const uint8_t* s) {
    const Fe y = FromBytes(s), order8 = FromBytes(kOrder8Y);
    for (const Fe& small : {Fe{}, One(), Neg(One()), order8, Neg(order8)}) {
        if (Equal(y, small)) return true;
    }
    return false;
}

bool IsCanonicalPoint(const uint8_t* s) {
    uint8_t reduced[32];
    ToBytes(FromBytes(s), reduced);
    return std::memcmp(reduced, s, 31) == 0 && reduced[31] == (s[31] & 0x7f);
}

// Little-endian 32-bit words of `count` bytes.
void LoadWords(const uint8_t* bytes, size_t count, uint32_t* words) {
    for (size_t i = 0; i < count / 4; ++i) {
        words[i] = uint32_t{bytes[4 * i]} | uint32_t{bytes[4 * i + 1]} << 8 | uint32_t{bytes[4 * i + 2]} << 16 |
                   uint32_t{bytes[4 * i + 3]} << 24;
    }
}

// Whether a 9-word number is at least L.
bool AtLeastOrder(const uint32_t* r) {
    for (int i = 8; i >= 0; --i) {
        if (r[i] != kOrder[i]) return r[i] > kOrder[i];
    }
    return true;
}

bool IsCanonicalScalar(const uint8_t* s) {
    uint32_t words[9] = {};
    LoadWords(s, 32, words);
    return !AtLeastOrder(words);
}

// The scalar (below 2^253) in width-5 non-adjacent form: odd digits from -15 to 15,
// any two nonzero ones at least five places apart, sum of digit[i] 2^i the scalar.
void Recode(const uint8_t* scalar, int8_t* digits) {
    const auto bit = [scalar](int i) { return i < 256 ? scalar[i >> 3] >> (i & 7) & 1 : 0; };
    std::memset(digits, 0, 256);
    int carry = 0;
    for (int i = 0; i < 256; ++i) {
        if (bit(i) + carry != 1) {
            carry = (bit(i) + carry) >> 1;
            continue;
        }
        int window = carry;
        for (int k = 0; k < 5; ++k) window += bit(i + k) << k;
        carry = window > 16;
        digits[i] = static_cast<int8_t>(carry ? window - 32 : window);
        i += 4;
    }
}

// P, 3P, 5P, ..., 15P.
void OddMultiples(const P3& p, Cached* multiples) {
    const P3 twice = ToP3(Double({p.X, p.Y, p.Z}));
    multiples[0] = ToCached(p);
    for (int k = 1; k < 8; ++k) multiples[k] = ToCached(ToP3(AddCached(twice, multiples[k - 1], false)));
}

// [a]A + [b]B from the recoded scalars, doubling once for both.
P2 DoubleScalarMultiply(const int8_t* a, const P3& pointA, const int8_t* b, const P3& pointB) {
    Cached multiplesA[8], multiplesB[8];
    OddMultiples(pointA, multiplesA);
    OddMultiples(pointB, multiplesB);
    P2 sum = {Fe{}, One(), One()};
    int i = 255;
    while (i >= 0 && a[i] == 0 && b[i] == 0) --i;
    for (; i >= 0; --i) {
        P1P1 t = Double(sum);
        for (const auto& [digit, multiples] : {std::pair{a[i], multiplesA}, std::pair{b[i], multiplesB}}) {
            if (digit != 0) t = AddCached(ToP3(t), multiples[(digit < 0 ? -digit : digit) / 2], digit < 0);
        }
        sum = ToP2(t);
    }
    return sum;
}

}  // namespace

std::array<uint8_t, 32> Ed25519ReduceScalar(const std::array<uint8_t, 64>& wide) {
    // Barrett reduction (Handbook of Applied Cryptography, 14.42) with 32-bit words,
    // k = 8: q = floor(floor(x / 2^224) * mu / 2^288), r = x - qL, then r - L at most twice.
    uint32_t x[16];
    LoadWords(wide.data(), 64, x);
    uint32_t product[18] = {};
    for (int i = 0; i < 9; ++i) {
        uint64_t carry = 0;
        for (int j = 0; j < 9; ++j) {
            const uint64_t t = uint64_t{x[7 + i]} * kBarrett[j] + product[i + j] + carry;
            product[i + j] = static_cast<uint32_t>(t);
            carry = t >> 32;
        }
        product[i + 9] = static_cast<uint32_t>(carry);
    }
    const uint32_t* q = product + 9;
    uint32_t qL[9] = {};  // q L modulo 2^288
    for (int i = 0; i < 9; ++i) {
        uint64_t carry = 0;
        for (int j = 0; i + j < 9; ++j) {
            const uint64_t t = uint64_t{q[i]} * kOrder[j] + qL[i + j] + carry;
            qL[i + j] = static_cast<uint32_t>(t);
            carry = t >> 32;
        }
    }
    uint32_t r[9];
    const auto subtract = [&r](const uint32_t* from, const uint32_t* value) {
        uint32_t borrow = 0;
        for (int i = 0; i < 9; ++i) {
            const uint64_t t = uint64_t{from[i]} - value[i] - borrow;
            r[i] = static_cast<uint32_t>(t);
            borrow = static_cast<uint32_t>(t >> 63);
        }
    };
    subtract(x, qL);  // modulo 2^288
    while (AtLeastOrder(r)) subtract(r, kOrder);
    std::array<uint8_t, 32> reduced;
    for (size_t i = 0; i < reduced.size(); ++i) reduced[i] = static_cast<uint8_t>(r[i / 4] >> (8 * (i % 4)));
    return reduced;
}

bool Ed25519Verify(const Ed25519Signature& signature, const void* message, size_t size,
                   const Ed25519PublicKey& publicKey) {
    const uint8_t* r = signature.data();
    const uint8_t* s = signature.data() + 32;
    if (!IsCanonicalScalar(s) || HasSmallOrder(r)) return false;
    if (!IsCanonicalPoint(publicKey.data()) || HasSmallOrder(publicKey.data())) return false;
    P3 minusA;
    if (!Decompress(publicKey.data(), minusA)) return false;
    minusA.X = Neg(minusA.X);
    minusA.T = Neg(minusA.T);

    Sha512 hash;
    hash.Update(r, 32);
    hash.Update(publicKey.data(), publicKey.size());
    hash.Update(message, size);
    const std::array<uint8_t, 32> k = Ed25519ReduceScalar(hash.Finish());

    int8_t kDigits[256], sDigits[256];
    Recode(k.data(), kDigits);
    Recode(s, sDigits);
    const Fe baseX = FromBytes(kBaseX), baseY = FromBytes(kBaseY);
    const P3 base = {baseX, baseY, One(), Mul(baseX, baseY)};
    uint8_t check[32];
    Encode(DoubleScalarMultiply(kDigits, minusA, sDigits, base), check);  // [S]B - [k]A
    return std::memcmp(check, r, 32) == 0;
}
