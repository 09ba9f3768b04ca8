// Ed25519 signature verification (RFC 8032, 5.1.7), as strict as libsodium's
// crypto_sign_verify_detached. Standard C++ only; verification handles public data,
// so it is not constant-time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

using Ed25519PublicKey = std::array<uint8_t, 32>;
using Ed25519Signature = std::array<uint8_t, 64>;  // R (32 bytes), then S

// Whether `signature` is the key's signature of the message. Refused besides a
// signature that does not check: an S not below the group order L; a public key
// that is not canonical (y not below p), not on the curve or of small order; an R
// of small order; and any R other than the canonical encoding of [S]B - [k]A, so a
// non-canonical R too. The check is cofactorless, as libsodium's is.
bool Ed25519Verify(const Ed25519Signature& signature, const void* message, size_t size,
                   const Ed25519PublicKey& publicKey);

// A 512-bit little-endian number reduced modulo L (exposed for its tests).
std::array<uint8_t, 32> Ed25519ReduceScalar(const std::array<uint8_t, 64>& wide);
