#include "list/update_record.h"

#include <algorithm>
#include <cstdlib>

#include "list/version_rule.h"
#include "drives/drive_info.h"

namespace {

constexpr size_t kVendorSize = kVendorProductSize - 16;  // then 16 of product
constexpr size_t kMaxVersion = 4;
constexpr uint64_t kTickWrapMs = uint64_t{1} << 32;
// How far the wall clock may have drifted from the ticks, or been stepped, for a
// wrap of the ticks still to be ruled out.
constexpr int64_t kClockSlackSeconds = 60 * 60;
constexpr char kHex[] = "0123456789ABCDEF";

std::string_view WithoutTrailingBlanks(std::string_view text) {
    const size_t last = text.find_last_not_of(' ');
    return last == std::string_view::npos ? std::string_view() : text.substr(0, last + 1);
}

// Vendor and product, each without its trailing blanks, joined by one blank.
std::string DriveName(std::string_view vendorProduct) {
    const std::string_view vendor = vendorProduct.substr(0, kVendorSize);
    const std::string_view product = vendorProduct.substr(std::min(kVendorSize, vendorProduct.size()));
    return std::string(WithoutTrailingBlanks(vendor)) + " " + std::string(WithoutTrailingBlanks(product));
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool Plain(char c) { return c >= 0x20 && c <= 0x7E && c != '%' && c != '|'; }

std::string Escaped(std::string_view bytes) {
    std::string text;
    for (const char c : bytes) {
        if (Plain(c)) {
            text += c;
        } else {
            const auto byte = static_cast<unsigned char>(c);
            text += {'%', kHex[byte >> 4], kHex[byte & 15]};
        }
    }
    return text;
}

std::optional<std::string> Unescaped(std::string_view text) {
    std::string bytes;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            if (!Plain(text[i])) return std::nullopt;
            bytes += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return std::nullopt;
        const int high = HexValue(text[i + 1]), low = HexValue(text[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        bytes += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return bytes;
}

// A run of 1 to `most` decimal digits, as a number.
std::optional<uint64_t> Digits(std::string_view text, size_t most) {
    if (text.empty() || text.size() > most || text.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    uint64_t value = 0;
    for (const char c : text) value = value * 10 + static_cast<uint64_t>(c - '0');
    return value;
}

std::string FormatSign(const RestartSign& sign) {
    switch (sign.kind) {
    case RestartSign::Kind::kBootKey: {
        std::string text = "key:";
        for (int shift = 60; shift >= 0; shift -= 4) text += kHex[(sign.value >> shift) & 15];
        return text;
    }
    case RestartSign::Kind::kTicks:
        return "ticks:" + std::to_string(sign.value) + "@" + std::to_string(sign.unixTime);
    case RestartSign::Kind::kNone:
        break;
    }
    return "none";
}

std::optional<RestartSign> ParseSign(std::string_view text) {
    RestartSign sign;
    if (text == "none") return sign;
    if (text.substr(0, 4) == "key:" && text.size() == 4 + 16) {
        sign.kind = RestartSign::Kind::kBootKey;
        for (const char c : text.substr(4)) {
            const int digit = HexValue(c);
            if (digit < 0) return std::nullopt;
            sign.value = sign.value << 4 | static_cast<uint64_t>(digit);
        }
        if (sign.value == 0) return std::nullopt;  // the token of no key
        return sign;
    }
    if (text.substr(0, 6) == "ticks:") {
        text.remove_prefix(6);
        const size_t at = text.find('@');
        if (at == std::string_view::npos) return std::nullopt;
        const std::optional<uint64_t> ticks = Digits(text.substr(0, at), 10), unix = Digits(text.substr(at + 1), 18);
        if (!ticks || *ticks >= kTickWrapMs || !unix) return std::nullopt;
        sign.kind = RestartSign::Kind::kTicks;
        sign.value = *ticks;
        sign.unixTime = static_cast<int64_t>(*unix);
        return sign;
    }
    return std::nullopt;
}

// A release's version as a record holds it: cleaned, 1 to 4 characters.
bool Recordable(const std::string& version) {
    return version.size() <= kMaxVersion && CleanVersion(version) == version;
}

}  // namespace

std::string UpdateValueName(unsigned adapter, unsigned target, unsigned lun, std::string_view vendorProduct) {
    return std::to_string(adapter) + "/" + std::to_string(target) + "/" + std::to_string(lun) + " " +
           Escaped(WithoutTrailingBlanks(vendorProduct));
}

std::optional<std::string> PlaceOfValueName(std::string_view name) {
    const size_t blank = name.find(' ');
    if (blank == std::string_view::npos) return std::nullopt;
    const std::string_view place = name.substr(0, blank);
    const size_t first = place.find('/'), second = first == std::string_view::npos ? first : place.find('/', first + 1);
    if (second == std::string_view::npos || !Digits(place.substr(0, first), 3) ||
        !Digits(place.substr(first + 1, second - first - 1), 3) || !Digits(place.substr(second + 1), 3)) {
        return std::nullopt;
    }
    return std::string(place);
}

std::string FormatStartedUpdate(const StartedUpdate& update) {
    return Escaped(update.before) + "|" + Escaped(update.started) + "|" + FormatSign(update.sign);
}

std::optional<StartedUpdate> ParseStartedUpdate(std::string_view data) {
    const size_t first = data.find('|');
    const size_t second = first == std::string_view::npos ? first : data.find('|', first + 1);
    if (second == std::string_view::npos) return std::nullopt;
    const std::optional<std::string> before = Unescaped(data.substr(0, first));
    const std::optional<std::string> started = Unescaped(data.substr(first + 1, second - first - 1));
    const std::optional<RestartSign> sign = ParseSign(data.substr(second + 1));
    if (!before || before->size() != static_cast<size_t>(kRevisionSize) || !started || started->empty() ||
        !Recordable(*started) || !sign) {
        return std::nullopt;
    }
    return StartedUpdate{*before, *started, *sign};
}

std::optional<StartedUpdate> UpdateToRemember(std::string_view driveRevision, std::string_view releaseVersion,
                                              const RestartSign& sign) {
    if (driveRevision.size() != static_cast<size_t>(kRevisionSize)) return std::nullopt;
    const std::optional<VersionOrder> order = CompareRelease(driveRevision, releaseVersion);
    if (order && *order != VersionOrder::kNewer) return std::nullopt;
    const std::optional<std::string> started = CleanVersion(releaseVersion);
    if (!started || !Recordable(*started)) return std::nullopt;
    return StartedUpdate{std::string(driveRevision), *started, sign};
}

bool RestartedSince(const RestartSign& then, const RestartSign& now) {
    if (then.kind != now.kind) return false;
    switch (then.kind) {
    case RestartSign::Kind::kBootKey:
        return then.value != now.value;
    case RestartSign::Kind::kTicks: {
        if (now.value >= then.value || then.value >= kTickWrapMs) return false;
        // Ticks below those of `then` without a restart would have wrapped, which takes
        // (2^32 - then) ms at least; a wall clock that says less time went by rules it
        // out. One that went back says nothing.
        const int64_t toWrap = static_cast<int64_t>((kTickWrapMs - then.value) / 1000) - kClockSlackSeconds;
        if (toWrap <= 0 || now.unixTime < then.unixTime) return false;
        // Unsigned: the difference of any two times fits.
        return static_cast<uint64_t>(now.unixTime) - static_cast<uint64_t>(then.unixTime) <
               static_cast<uint64_t>(toWrap);
    }
    case RestartSign::Kind::kNone:
        break;
    }
    return false;
}

UpdateOutcome JudgeUpdate(const StartedUpdate& update, std::string_view revisionNow, const RestartSign& signNow) {
    if (CompareRelease(revisionNow, update.started) == VersionOrder::kSame) return UpdateOutcome::kInstalled;
    // The bytes themselves: a revision the version rule cannot read is still the same.
    if (revisionNow == update.before) {
        return RestartedSince(update.sign, signNow) ? UpdateOutcome::kDidNotTakeEffect : UpdateOutcome::kNoRestartYet;
    }
    return UpdateOutcome::kOtherVersion;
}

std::string OutcomeText(UpdateOutcome outcome, char letter, std::string_view vendorProduct,
                        const StartedUpdate& update, std::string_view revisionNow) {
    const std::string drive = std::string(1, letter) + ": " + DriveName(vendorProduct);
    const std::optional<std::string> now = CleanVersion(revisionNow);
    switch (outcome) {
    case UpdateOutcome::kInstalled:
        return "The firmware update of the drive " + drive + " to " + update.started +
               " is installed: the drive now reports " + now.value_or("") + ".";
    case UpdateOutcome::kDidNotTakeEffect:
        return "The firmware update of the drive " + drive + " to " + update.started +
               " did not take effect: the drive still reports " + now.value_or("the revision it reported before") +
               " after a restart of the computer.";
    case UpdateOutcome::kOtherVersion:
        return "The drive " + drive + " now reports firmware " + now.value_or("whose revision cannot be read") +
               ", not " + update.started + ", the version of the update that was started.";
    case UpdateOutcome::kNoRestartYet:
        break;
    }
    return {};
}
