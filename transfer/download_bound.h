// How many bytes a download may bring, and whether a count keeps to that. Standard
// C++ only: both transfer dialogs apply it, to a file or to memory alike.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>

// What a download may bring, counted over the whole file as it arrives (a resumed
// transfer counts the bytes it kept from before). More than `most` is never taken.
// With `exact` the file has exactly that many bytes: one more stops the download, an
// end before it fails it, and a length the server announces must be that one.
struct DownloadBound {
    uint64_t most = std::numeric_limits<uint64_t>::max();
    std::optional<uint64_t> exact{};
};

// When a count is held to the bound: before anything is fetched (the bound itself, no
// count), a length the server announced before the body, the bytes so far after each
// read, the bytes at the end of the body.
enum class BoundStage { kStart, kAnnounced, kReceived, kEnded };

enum class BoundBreach {
    kNone,
    kExactBeyondMost,      // kStart: the file is to be longer than it may be
    kAnnouncedBeyondMost,
    kAnnouncedNotExact,
    kBeyondMost,
    kBeyondExact,
    kShortOfExact,         // kEnded only
};

BoundBreach CheckBound(const DownloadBound& bound, BoundStage stage, uint64_t count);
