#include "list/release_decisions.h"

#include "framework/text_format.h"
#include "list/list_texts.h"
#include "list/version_rule.h"
#include "transfer/bound_texts.h"

std::string UnusableSiteMessage(const std::string& site) {
    return "The firmware cannot be downloaded: the update list gives its server as \"" + site +
           "\", which is neither a host name nor an ftp://, http:// or https:// address.";
}

bool NamesAProgram(const std::string& location) {
    return location.find("EXE") != std::string::npos || location.find("exe") != std::string::npos;
}

DownloadBound ReleaseBound(const FirmwareEntry& entry, bool listVerified) {
    return {kMaxFirmwareSize, listVerified ? ListedSize(entry.Size) : std::nullopt};
}

std::optional<std::string> RefusalBeforeDownload(const FirmwareEntry& entry, const std::string& site,
                                                 bool listVerified) {
    // With keys, the signed list vouches for a release only through its digest.
    if (listVerified && entry.SHA256.empty()) return std::string(list_text::kCannotBeChecked);
    if (ReleaseAddressOf(site, entry.URL).via == ReleaseAddress::Via::kUnusable) return UnusableSiteMessage(site);
    const DownloadBound bound = ReleaseBound(entry, listVerified);
    if (CheckBound(bound, BoundStage::kStart, 0) == BoundBreach::kExactBeyondMost) {
        return FormatText(NIMBREL_TEXT_BOUND_EXACT_TOO_LARGE, std::to_string(bound.most), std::to_string(*bound.exact));
    }
    return std::nullopt;
}

VersionQuestion QuestionBeforeDownload(const std::string& driveRevision, const std::string& version,
                                       bool startedBefore) {
    VersionQuestion question;
    const std::optional<VersionOrder> order = CompareRelease(driveRevision, version);
    if (order == VersionOrder::kOlder) {
        question = {VersionQuestion::Kind::kOlder,
                    "The drive has firmware " + *CleanVersion(driveRevision) + ", and this release, " +
                        *CleanVersion(version) + ", is older. Do you want to install the older firmware?",
                    true};
    } else if (order == VersionOrder::kSame) {
        question = {VersionQuestion::Kind::kSame,
                    "The drive already has firmware " + *CleanVersion(driveRevision) +
                        ", the version of this release. Do you want to install it again?",
                    false};
    } else if (startedBefore) {
        // The first flasher may still be at work: No is the default.
        question = {VersionQuestion::Kind::kStartedAgain,
                    "An update of the drive to " + CleanVersion(version).value_or(version) +
                        " has already been started; the drive may report it only after a restart of the computer. "
                        "Do you want to install it again?",
                    true};
    }
    return question;
}

bool IsTheListedFile(const std::string& listedDigest, const std::optional<Sha256::Digest>& actual) {
    if (listedDigest.empty()) return true;
    const std::optional<Sha256::Digest> expected = ParseDigest(listedDigest);
    return expected && actual == expected;
}
