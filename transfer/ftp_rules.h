// Rules of an FTP transfer that need no platform: the rate limit, the reading of
// server replies and the completeness of a download. Standard C++ only, so the
// native tests check them; the FTP dialog applies them.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// Milliseconds to sleep after a chunk so that the average rate since the start
// stays at `limit` bytes per millisecond: the time at which `done` bytes would be
// reached at the limit, less the time already spent. 0 when there is no limit
// (0 or less), nothing is done yet, no time has passed or the rate is within the
// limit. A wait beyond the range of a 32-bit millisecond count is capped.
uint32_t ThrottleDelay(uint32_t elapsedMs, uint64_t done, double limit);

// The reply code at the start of a server reply ("350 Restarting ..." -> 350);
// nothing when the reply does not begin with three digits.
std::optional<int> FtpReplyCode(std::string_view reply);

// Whether a reply tells that the command failed (codes 400 to 599). A text that
// carries no code says nothing either way.
bool IsFailureReply(std::string_view reply);

// A dropped data connection can look like a normal end of file. A binary download
// whose size was known (`remoteSize`, from the directory listing) has ended early
// when the resume offset plus the bytes received fall short of that size. ASCII
// transfers convert line ends on the way, so their byte count proves nothing.
bool DownloadEndedEarly(bool binary, std::optional<uint64_t> remoteSize, uint64_t resumeOffset,
                        uint64_t received);
