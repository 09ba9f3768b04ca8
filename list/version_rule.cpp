#include "list/version_rule.h"

#include <algorithm>
#include <cstddef>
#include <vector>

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

int Sign(size_t a, size_t b) { return a < b ? -1 : a > b ? 1 : 0; }

// Two runs of digits as numbers: without their leading zeros, the longer is the
// larger, and runs of one length compare digit by digit.
int CompareNumbers(std::string_view a, std::string_view b) {
    a.remove_prefix(std::min(a.find_first_not_of('0'), a.size()));
    b.remove_prefix(std::min(b.find_first_not_of('0'), b.size()));
    if (a.size() != b.size()) return Sign(a.size(), b.size());
    return a.compare(b) < 0 ? -1 : a.compare(b) > 0 ? 1 : 0;
}

int CompareText(std::string_view a, std::string_view b) {
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) return Lower(a[i]) < Lower(b[i]) ? -1 : 1;
    }
    return Sign(a.size(), b.size());
}

// The run of digits, or of other characters, at the start of `text`, taken off it.
std::string_view TakeRun(std::string_view& text) {
    const bool digits = IsDigit(text[0]);
    size_t end = 1;
    while (end < text.size() && IsDigit(text[end]) == digits) ++end;
    const std::string_view run = text.substr(0, end);
    text.remove_prefix(end);
    return run;
}

int CompareSegments(std::string_view a, std::string_view b) {
    if (a.empty()) a = "0";
    if (b.empty()) b = "0";
    while (!a.empty() && !b.empty()) {
        const bool numberA = IsDigit(a[0]), numberB = IsDigit(b[0]);
        const std::string_view runA = TakeRun(a), runB = TakeRun(b);
        const int order = numberA != numberB ? (numberA ? -1 : 1)
                          : numberA          ? CompareNumbers(runA, runB)
                                             : CompareText(runA, runB);
        if (order != 0) return order;
    }
    return a.empty() && b.empty() ? 0 : a.empty() ? -1 : 1;
}

// The segments of `text`, split at each ".": "1." has two, the second empty.
std::vector<std::string_view> Segments(std::string_view text) {
    std::vector<std::string_view> segments;
    for (size_t dot; (dot = text.find('.')) != std::string_view::npos; text.remove_prefix(dot + 1)) {
        segments.push_back(text.substr(0, dot));
    }
    segments.push_back(text);
    return segments;
}

bool IsZero(std::string_view segment) { return segment.find_first_not_of('0') == std::string_view::npos; }

// -1, 0 or 1 as `a` is older than, the same as or newer than `b` (both clean).
int CompareClean(std::string_view a, std::string_view b) {
    const std::vector<std::string_view> segmentsA = Segments(a), segmentsB = Segments(b);
    const size_t common = std::min(segmentsA.size(), segmentsB.size());
    for (size_t i = 0; i < common; ++i) {
        if (const int order = CompareSegments(segmentsA[i], segmentsB[i]); order != 0) return order;
    }
    const auto extraNonZero = [common](const std::vector<std::string_view>& segments) {
        return std::any_of(segments.begin() + static_cast<std::ptrdiff_t>(common), segments.end(),
                           [](std::string_view segment) { return !IsZero(segment); });
    };
    if (extraNonZero(segmentsA)) return 1;
    if (extraNonZero(segmentsB)) return -1;
    return 0;
}

}  // namespace

std::optional<std::string> CleanVersion(std::string_view text) {
    text = text.substr(0, text.find('\0'));
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return std::nullopt;
    text = text.substr(first, text.find_last_not_of(' ') + 1 - first);
    const bool printable =
        std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c <= 0x7E; });
    if (!printable) return std::nullopt;
    return std::string(text);
}

std::optional<VersionOrder> CompareRelease(std::string_view driveRevision, std::string_view release) {
    const std::optional<std::string> drive = CleanVersion(driveRevision), offered = CleanVersion(release);
    if (!drive || !offered) return std::nullopt;
    const int order = CompareClean(*offered, *drive);
    return order < 0 ? VersionOrder::kOlder : order == 0 ? VersionOrder::kSame : VersionOrder::kNewer;
}
