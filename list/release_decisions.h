// What "Update selected" decides for the release of a row: whether it is fetched at
// all, within which bound, what is asked first, whether the file is the listed one,
// and whether it is started or left to be installed by hand. Standard C++ only: the
// program acts on these decisions, the makers' tool reports them.
#pragma once

#include <optional>
#include <string>

#include "digest/sha256.h"
#include "list/update_list.h"
#include "transfer/download_bound.h"

// Every release lands under this name in the current folder, and is started from there.
inline constexpr char kFirmwareFile[] = "FirmUpdate.EXE";

// What the user is told of a site (the list's first) the program cannot download from.
std::string UnusableSiteMessage(const std::string& site);

// A release is a program when its location names one anywhere, in either of the two
// cases the servers use; "Exe" does not count.
bool NamesAProgram(const std::string& location);

// The bound of a release's download: the cap, and in a verified list its Size exactly
// where that is a plain byte count. An unsigned list comes from the same server as the
// file, and lists have given Size loosely: there it bounds nothing.
DownloadBound ReleaseBound(const FirmwareEntry& entry, bool listVerified);

// Why the release is not fetched at all, in the words the user is shown; none when it
// may be. In this order: a verified list that gives no digest to hold the file to, a
// site the program cannot download from (`site`, the list's first), a listed size over
// the cap. Nothing has been asked or fetched then.
std::optional<std::string> RefusalBeforeDownload(const FirmwareEntry& entry, const std::string& site,
                                                 bool listVerified);

// The question asked before the download, Yes to go on.
struct VersionQuestion {
    enum class Kind {
        kNone,          // a newer release, or one the version rule cannot place
        kOlder,         // older than the drive's firmware
        kSame,          // the drive's firmware
        kStartedAgain,  // an update to it was started in this run already
    };
    Kind kind = Kind::kNone;
    std::string text;
    bool noByDefault = false;  // No is the default button
};

// For the release `version` on a drive reporting `driveRevision`; `startedBefore`
// when an update of the drive to it was started in this run (the drive list, read at
// start, does not show it). Older and the same are asked as such; any other release
// only when it was started before.
VersionQuestion QuestionBeforeDownload(const std::string& driveRevision, const std::string& version,
                                       bool startedBefore);

// Whether a downloaded file with the digest `actual` (none when it could not be read)
// is the listed one: without a listed digest there is nothing to hold it to; a listed
// value that is no digest matches nothing.
bool IsTheListedFile(const std::string& listedDigest, const std::optional<Sha256::Digest>& actual);
