// Arithmetic and texts of the transfer progress display, shared by the HTTP and
// FTP dialogs. Standard C++ only: the dialogs write what this computes into their
// controls, and the native tests check it without a window.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// String-table ids of the display's templates. The two dialogs use the same
// English texts under different ids. A status id of 0 means the dialog ignores
// that status.
struct ProgressTextIds {
    unsigned percentCompleted;    // "%1% of %2 Completed"
    unsigned sizeOfTotal;         // "%1 of %2"
    unsigned timeLeft;            // "%1 (%2 copied)"
    unsigned seconds;             // "%1 sec"
    unsigned minutes;             // "%1 min"
    unsigned minutesSeconds;      // "%1 min %2 sec"
    unsigned bytes;               // "%1 Bytes"
    unsigned kilobytes;           // "%1 KB"
    unsigned megabytes;           // "%1 MB"
    unsigned bytesPerSecond;      // "%1 Bytes/Sec"
    unsigned kilobytesPerSecond;  // "%1 KB/Sec"
    unsigned resolvingName;       // "Resolving name: %1"
    unsigned nameResolved;        // "Resolved name to %1"
    unsigned connecting;          // "Connecting to %1"
    unsigned connected;           // "Connected to %1"
    unsigned redirecting;         // "Redirecting to %1"
};

inline constexpr ProgressTextIds kHttpProgressTextIds = {
    115, 117, 131, 118, 119, 120, 121, 122, 130, 125, 126,  // display
    104, 105, 106, 103, 107,                                // status
};

inline constexpr ProgressTextIds kFtpProgressTextIds = {
    0xE00C, 0xE00E, 0xE018, 0xE00F, 0xE010, 0xE011, 0xE012, 0xE014, 0xE016, 2, 3,  // display
    0xE003, 15, 0xE004, 0xE002, 0,                                                  // status
};

// WinInet status codes that the status line shows (INTERNET_STATUS_*).
enum InternetStatusCode : uint32_t {
    kStatusResolvingName = 10,
    kStatusNameResolved = 11,
    kStatusConnectingToServer = 20,
    kStatusConnectedToServer = 21,
    kStatusRedirect = 110,
};

// Template text of a string id: the Windows side loads it from the string table,
// tests answer the English texts.
using StringLookup = std::function<std::string(unsigned id)>;

// The display's texts of one dialog.
class ProgressTexts {
public:
    ProgressTexts(const ProgressTextIds& ids, StringLookup lookup);

    // "%1 Bytes" below 1024, "%1 KB" with one decimal below 1048576, else "%1 MB"
    // with two decimals (1048575 reads "1024.0 KB").
    std::string FormatSize(uint32_t bytes) const;
    // Bytes per millisecond: below 1.0 as bytes (x 1024, not 1000), from 1.0 the
    // unconverted figure as "KB/Sec", with two decimals below 10.
    std::string TransferRate(double bytesPerMs) const;
    // "3 min 35 sec (512.0 KB of 3.20 MB copied)".
    std::string TimeLeft(uint32_t seconds, uint32_t done, uint32_t total) const;
    // Caption: "15% of name Completed".
    std::string Caption(int32_t percent, std::string_view name) const;

    // Status-line template of a WinInet status code; 0 when the status is ignored.
    unsigned StatusTextId(uint32_t internetStatus) const;
    // The status line for a WinInet status, or nothing when it is ignored.
    std::optional<std::string> StatusText(uint32_t internetStatus, std::string_view info) const;
    // A phase text by id, with %1 replaced by `argument`.
    std::string Text(unsigned id, std::string_view argument = {}) const;

private:
    ProgressTextIds ids_;
    StringLookup lookup_;
};

// The status information of a WinInet callback as text: the bytes up to the first
// zero, never past `length` (an unterminated buffer is not read beyond its end).
std::string StatusInfoText(const void* info, uint32_t length);

// Range of the HTTP dialog's bar, in kilobytes rounded to the nearest: set as a
// 32-bit range, so files beyond 64 MB still show true progress.
uint32_t HttpBarRange(uint32_t total);

// What one progress step changed; the dialog redraws only these.
struct ProgressRedraw {
    // The whole-number percentage changed (never before 1%, at most 100).
    bool percentChanged = false;
    int32_t percent = 0;
    uint32_t barKilobytes = 0;  // HTTP bar position, within HttpBarRange(total)
    std::string caption;        // "%1% of %2 Completed"

    // A refresh of the rate and time-left lines is due (at most once a second).
    bool refreshed = false;
    double rate = 0.0;  // bytes per millisecond over the last interval
    std::string rateText;

    // Set on a refresh when the total is known and bytes have arrived.
    bool timeLeftKnown = false;
    uint32_t secondsLeft = 0;
    std::string timeLeftText;
};

// Progress state of one transfer. Ticks are GetTickCount() milliseconds; their
// differences are taken modulo 2^32, so a wrap of the tick counter is harmless.
//
// More bytes than the total (a file that grew, a wrong length), or a total of 0,
// show as 100% with no time left and the bar at most at its range: never a
// division by zero, a bar past its range, or an unsigned wrap read as hours left.
class ProgressTracker {
public:
    // `name` is the caption's file name; `total` is empty when the size is unknown.
    ProgressTracker(ProgressTexts texts, std::string name, uint32_t startTick, std::optional<uint32_t> total);

    // Called after every chunk that moved data, with the running byte count.
    ProgressRedraw Update(uint32_t bytesSoFar, uint32_t now);

    int32_t LastPercent() const { return lastPercent_; }

private:
    ProgressTexts texts_;
    std::string name_;
    uint32_t startTick_;
    uint32_t lastRefreshTick_;
    uint32_t lastRefreshBytes_ = 0;
    int32_t lastPercent_ = 0;
    bool totalKnown_;
    uint32_t total_;
};
