// SHA-256 digests as the update list writes them. Standard C++ only.
#pragma once

#include <optional>
#include <string>

#include "digest/sha2.h"

// Lower-case hexadecimal, 64 digits.
std::string ToHex(const Sha256::Digest& digest);

// Exactly 64 hexadecimal digits, in either case; none for any other text (blanks
// included).
std::optional<Sha256::Digest> ParseDigest(const std::string& text);
