// What the program remembers of a firmware update it started, so that at a later
// start it can tell whether the drive took it. One record per drive, a REG_SZ value
// under HKEY_CURRENT_USER\Software\Nimbrel\Updates (app/update_store.h):
//   name  "<letter>: <vendor and product, trailing blanks removed>"  ("E: ZORIX   DVD-RW XR-1680")
//   data  "<revision before>|<version started>|<computer start>"     ("1.02|1.10|1796685644")
// The computer start is when the computer started, in Unix seconds.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct StartedUpdate {
    std::string before;   // the drive's revision as the version rule cleans it; "" when it had none
    std::string started;  // the release's version, cleaned: 1 to 4 characters
    int64_t computerStart = 0;
};

// The record's name for drive `letter` with the 24 vendor and product characters
// `vendorProduct`; none unless the letter is A-Z and the characters hold no NUL.
std::optional<std::string> UpdateValueName(char letter, std::string_view vendorProduct);

std::string FormatStartedUpdate(const StartedUpdate& update);
std::optional<StartedUpdate> ParseStartedUpdate(std::string_view data);

// The record of an update that was started, or none when it is not remembered: a
// release older than the drive's firmware or the same as it (the user asked for it),
// or a version that is not 1 to 4 characters once cleaned (no drive reports more).
std::optional<StartedUpdate> UpdateToRemember(std::string_view driveRevision, std::string_view releaseVersion,
                                              int64_t computerStart);

// When the computer started: `unixNow` (seconds) less `uptimeMs`.
int64_t ComputerStart(int64_t unixNow, uint64_t uptimeMs);

// Whether the computer has started again between two readings of its start: they
// differ by more than two minutes (a clock change of more reads as a restart). With
// 32-bit ticks, which wrap every 2^32 ms, a difference within two minutes of a
// multiple of 2^32 ms is the same start.
bool RestartedSince(int64_t recordedStart, int64_t startNow, bool wrappingTicks);

enum class UpdateOutcome {
    kInstalled,         // the drive reports the version started
    kNoRestartYet,      // it reports the revision before, and the computer has not restarted
    kDidNotTakeEffect,  // it reports the revision before after a restart
    kOtherVersion,      // it reports something else
};

UpdateOutcome JudgeUpdate(const StartedUpdate& update, std::string_view revisionNow, int64_t startNow,
                          bool wrappingTicks);

// What the user is told of an outcome (nothing of kNoRestartYet), for drive `letter`
// with the 24 vendor and product characters `vendorProduct`.
std::string OutcomeText(UpdateOutcome outcome, char letter, std::string_view vendorProduct,
                        const StartedUpdate& update, std::string_view revisionNow);
