#include "transfer/progress.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <utility>

#include "framework/text_format.h"

namespace {

// The decimal text of `value` with `decimals` digits after the point
// ("%0.0f", "%0.1f", "%0.2f"), as the C library rounds it.
std::string Fixed(double value, int decimals) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    return buffer;
}

constexpr uint32_t kRefreshInterval = 1000;  // milliseconds; a refresh needs more than this

}  // namespace

ProgressTexts::ProgressTexts(const ProgressTextIds& ids, StringLookup lookup) : ids_(ids), lookup_(std::move(lookup)) {}

std::string ProgressTexts::Text(unsigned id, std::string_view argument) const {
    return FormatText(lookup_(id), argument);
}

std::string ProgressTexts::FormatSize(uint32_t bytes) const {
    if (bytes < 1024) return Text(ids_.bytes, std::to_string(bytes));
    if (bytes < 1048576) return Text(ids_.kilobytes, Fixed(bytes * (1.0 / 1024), 1));
    return Text(ids_.megabytes, Fixed(bytes * (1.0 / 1048576), 2));
}

std::string ProgressTexts::TransferRate(double bytesPerMs) const {
    if (bytesPerMs < 1.0) return Text(ids_.bytesPerSecond, Fixed(bytesPerMs * 1024.0, 0));
    return Text(ids_.kilobytesPerSecond, Fixed(bytesPerMs, bytesPerMs < 10.0 ? 2 : 0));
}

std::string ProgressTexts::TimeLeft(uint32_t seconds, uint32_t done, uint32_t total) const {
    std::string sizes = FormatText(lookup_(ids_.sizeOfTotal), FormatSize(done), FormatSize(total));
    std::string time;
    if (seconds < 60) {
        time = Text(ids_.seconds, std::to_string(seconds));
    } else if (seconds % 60 == 0) {
        time = Text(ids_.minutes, std::to_string(seconds / 60));
    } else {
        time = FormatText(lookup_(ids_.minutesSeconds), std::to_string(seconds / 60), std::to_string(seconds % 60));
    }
    return FormatText(lookup_(ids_.timeLeft), time, sizes);
}

std::string ProgressTexts::Caption(int32_t percent, std::string_view name) const {
    return FormatText(lookup_(ids_.percentCompleted), std::to_string(percent), name);
}

unsigned ProgressTexts::StatusTextId(uint32_t internetStatus) const {
    switch (internetStatus) {
    case kStatusResolvingName: return ids_.resolvingName;
    case kStatusNameResolved: return ids_.nameResolved;
    case kStatusConnectingToServer: return ids_.connecting;
    case kStatusConnectedToServer: return ids_.connected;
    case kStatusRedirect: return ids_.redirecting;
    default: return 0;
    }
}

std::optional<std::string> ProgressTexts::StatusText(uint32_t internetStatus, std::string_view info) const {
    unsigned id = StatusTextId(internetStatus);
    if (id == 0) return std::nullopt;
    return Text(id, info);
}

std::string StatusInfoText(const void* info, uint32_t length) {
    if (info == nullptr) return {};
    const char* text = static_cast<const char*>(info);
    const void* end = std::memchr(text, 0, length);
    return std::string(text, end ? static_cast<const char*>(end) - text : length);
}

uint32_t HttpBarRange(uint32_t total) {
    // In 64 bits: totals within 512 bytes of 4 GB must not wrap to a tiny range.
    return static_cast<uint32_t>((uint64_t{total} + 512) / 1024);
}

ProgressTracker::ProgressTracker(ProgressTexts texts, std::string name, uint32_t startTick,
                                 std::optional<uint32_t> total)
    : texts_(std::move(texts)),
      name_(std::move(name)),
      startTick_(startTick),
      lastRefreshTick_(startTick),
      totalKnown_(total.has_value()),
      total_(total.value_or(0)) {}

ProgressRedraw ProgressTracker::Update(uint32_t bytesSoFar, uint32_t now) {
    ProgressRedraw redraw;
    const bool complete = totalKnown_ && bytesSoFar >= total_;  // also every count against a total of 0

    if (totalKnown_) {
        int32_t percent = complete ? 100 : static_cast<int32_t>(bytesSoFar * 100.0 / total_);
        if (percent != lastPercent_) {
            lastPercent_ = percent;
            redraw.percentChanged = true;
            redraw.percent = percent;
            redraw.barKilobytes = std::min(bytesSoFar / 1024, HttpBarRange(total_));
            redraw.caption = texts_.Caption(percent, name_);
        }
    }

    const uint32_t interval = now - lastRefreshTick_;
    if (interval <= kRefreshInterval) return redraw;

    redraw.refreshed = true;
    redraw.rate = static_cast<double>(bytesSoFar - lastRefreshBytes_) / interval;
    redraw.rateText = texts_.TransferRate(redraw.rate);
    lastRefreshTick_ = now;
    lastRefreshBytes_ = bytesSoFar;

    if (totalKnown_ && bytesSoFar != 0) {
        // Elapsed milliseconds per byte so far, times the bytes still to come.
        double seconds = complete ? 0.0 : static_cast<double>(now - startTick_) / bytesSoFar * (total_ - bytesSoFar) * 0.001;
        redraw.timeLeftKnown = true;
        redraw.secondsLeft = seconds >= 4294967295.0 ? std::numeric_limits<uint32_t>::max() : static_cast<uint32_t>(seconds);
        redraw.timeLeftText = texts_.TimeLeft(redraw.secondsLeft, bytesSoFar, total_);
    }
    return redraw;
}
