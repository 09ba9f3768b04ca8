#include "app/update_record.h"

#include <algorithm>
#include <cstdlib>

#include "app/version_rule.h"
#include "drives/drive_info.h"

namespace {

constexpr size_t kVendorSize = kVendorProductSize - 16;  // then 16 of product
constexpr size_t kMaxRevision = 4;
constexpr int64_t kSameStartMs = 2 * 60 * 1000;
constexpr int64_t kTickWrapMs = int64_t{1} << 32;

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

// A cleaned version of at most `limit` characters that a record can hold.
bool Recordable(const std::string& text, size_t limit) {
    return text.size() <= limit && text.find('|') == std::string::npos && CleanVersion(text) == text;
}

}  // namespace

std::optional<std::string> UpdateValueName(char letter, std::string_view vendorProduct) {
    if (letter < 'A' || letter > 'Z' || vendorProduct.size() != static_cast<size_t>(kVendorProductSize)) return std::nullopt;
    if (vendorProduct.find('\0') != std::string_view::npos) return std::nullopt;
    return std::string(1, letter) + ": " + std::string(WithoutTrailingBlanks(vendorProduct));
}

std::string FormatStartedUpdate(const StartedUpdate& update) {
    return update.before + "|" + update.started + "|" + std::to_string(update.computerStart);
}

std::optional<StartedUpdate> ParseStartedUpdate(std::string_view data) {
    const size_t first = data.find('|');
    const size_t second = first == std::string_view::npos ? first : data.find('|', first + 1);
    if (second == std::string_view::npos) return std::nullopt;
    StartedUpdate update{std::string(data.substr(0, first)), std::string(data.substr(first + 1, second - first - 1))};
    const std::string_view start = data.substr(second + 1);
    if ((!update.before.empty() && !Recordable(update.before, kMaxRevision)) || update.started.empty() ||
        !Recordable(update.started, kMaxRevision) || start.empty() || start.size() > 18 ||
        start.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    update.computerStart = std::strtoll(std::string(start).c_str(), nullptr, 10);
    return update;
}

std::optional<StartedUpdate> UpdateToRemember(std::string_view driveRevision, std::string_view releaseVersion,
                                              int64_t computerStart) {
    const std::optional<VersionOrder> order = CompareRelease(driveRevision, releaseVersion);
    if (order && *order != VersionOrder::kNewer) return std::nullopt;
    const std::optional<std::string> started = CleanVersion(releaseVersion);
    if (!started || !Recordable(*started, kMaxRevision)) return std::nullopt;
    std::string before = CleanVersion(driveRevision).value_or("");
    if (!Recordable(before, kMaxRevision)) before.clear();
    return StartedUpdate{before, *started, computerStart};
}

int64_t ComputerStart(int64_t unixNow, uint64_t uptimeMs) {
    return unixNow - static_cast<int64_t>(uptimeMs / 1000);
}

bool RestartedSince(int64_t recordedStart, int64_t startNow, bool wrappingTicks) {
    const int64_t apartMs = std::llabs(startNow - recordedStart) * 1000;
    if (apartMs <= kSameStartMs) return false;
    if (!wrappingTicks) return true;
    const int64_t pastWrap = apartMs % kTickWrapMs;
    return pastWrap > kSameStartMs && kTickWrapMs - pastWrap > kSameStartMs;
}

UpdateOutcome JudgeUpdate(const StartedUpdate& update, std::string_view revisionNow, int64_t startNow,
                          bool wrappingTicks) {
    if (CompareRelease(revisionNow, update.started) == VersionOrder::kSame) return UpdateOutcome::kInstalled;
    if (CompareRelease(revisionNow, update.before) == VersionOrder::kSame) {
        return RestartedSince(update.computerStart, startNow, wrappingTicks) ? UpdateOutcome::kDidNotTakeEffect
                                                                             : UpdateOutcome::kNoRestartYet;
    }
    return UpdateOutcome::kOtherVersion;
}

std::string OutcomeText(UpdateOutcome outcome, char letter, std::string_view vendorProduct,
                        const StartedUpdate& update, std::string_view revisionNow) {
    const std::string drive = std::string(1, letter) + ": " + DriveName(vendorProduct);
    const std::string now = CleanVersion(revisionNow).value_or("");
    switch (outcome) {
    case UpdateOutcome::kInstalled:
        return "The firmware update of the drive " + drive + " to " + update.started +
               " is installed: the drive now reports " + now + ".";
    case UpdateOutcome::kDidNotTakeEffect:
        return "The firmware update of the drive " + drive + " to " + update.started +
               " did not take effect: the drive still reports " + now + " after a restart of the computer.";
    case UpdateOutcome::kOtherVersion:
        return "The drive " + drive + " now reports firmware " + now + ", not " + update.started +
               ", the version of the update that was started.";
    case UpdateOutcome::kNoRestartYet:
        break;
    }
    return {};
}
