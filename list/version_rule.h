// How a release's version stands to the firmware revision a drive reports.
//
// Each text is cut at its first NUL and trimmed of blanks at both ends; an empty text,
// or one with a byte outside 0x20-0x7E, has no place in the order. Otherwise both are
// split at each "." and the segments compared in turn. Within a segment, runs of
// digits compare as numbers (leading zeros do not count, any length) and other runs
// as text, ASCII letters without regard to case; a run of digits comes before a run
// of other characters, and a segment that is a prefix of the other comes first. An
// empty segment counts as 0. When every segment compared is equal, the text with more
// segments is the newer, unless all its extra segments are zero: "1.02" < "1.10",
// "1.02" = "1.2", "1.9a" < "1.10", "1.0A" < "1.0b", "1.0" = "1.0.0".
#pragma once

#include <optional>
#include <string>
#include <string_view>

enum class VersionOrder { kOlder, kSame, kNewer };

// The text as the rule reads it; none when it has no place in the order.
std::optional<std::string> CleanVersion(std::string_view text);

// Whether `release` is older than `driveRevision`, the same, or newer; none when
// either has no place in the order.
std::optional<VersionOrder> CompareRelease(std::string_view driveRevision, std::string_view release);
