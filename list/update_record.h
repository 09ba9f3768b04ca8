// What the program remembers of a firmware update it started, so that at a later
// start it can tell whether the drive took it. One record per drive, a REG_SZ value
// under HKEY_CURRENT_USER\Software\Nimbrel\Updates (app/update_store.h):
//   name  "<adapter>/<target>/<lun> <vendor and product, trailing blanks removed>"
//         ("0/1/0 ZORIX   DVD-RW XR-1680"): the drive's place, which a change of its
//         letter leaves alone, and its model
//   data  "<revision before>|<version started>|<restart sign>"  ("1.02|1.10|ticks:56999@1796685700")
// Every byte outside 0x20-0x7E, and "%" and "|", is written "%XX" (hex), so that the
// name and the data are ASCII and read back as written whatever the code page.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// What a later start reads to tell whether the computer has restarted since the sign
// was taken (app/system_clock.h takes and reads it).
struct RestartSign {
    enum class Kind {
        kNone,     // nothing sure: a restart is never told
        kBootKey,  // the NT family: a volatile registry key, which a restart removes
        kTicks,    // the 98 family: the 32-bit tick count, which a restart sets back to 0
    };
    Kind kind = Kind::kNone;
    // kBootKey: the key's token (when it was made), 0 when there is no key; kTicks: the
    // tick count in ms, below 2^32.
    uint64_t value = 0;
    int64_t unixTime = 0;  // kTicks: when the count was read, Unix seconds
};

struct StartedUpdate {
    std::string before;   // the drive's 4 revision bytes as it reported them
    std::string started;  // the release's version, cleaned: 1 to 4 characters
    RestartSign sign;
};

// The record's name for the drive at adapter/target/lun with the 24 vendor and product
// characters `vendorProduct`.
std::string UpdateValueName(unsigned adapter, unsigned target, unsigned lun, std::string_view vendorProduct);
// The place ("0/1/0") a record's name begins with; none for a name of another form.
std::optional<std::string> PlaceOfValueName(std::string_view name);

std::string FormatStartedUpdate(const StartedUpdate& update);
std::optional<StartedUpdate> ParseStartedUpdate(std::string_view data);

// The record of an update that was started on a drive reporting the 4 revision bytes
// `driveRevision`, or none when it is not remembered: a release older than the drive's
// firmware or the same as it (the user asked for it), or a version that is not 1 to 4
// characters once cleaned (no drive reports more).
std::optional<StartedUpdate> UpdateToRemember(std::string_view driveRevision, std::string_view releaseVersion,
                                              const RestartSign& sign);

// Whether the computer has surely restarted between the readings `then` and `now`;
// false wherever that cannot be told. A clock step changes neither sign: ticks that
// went on counting are the same start whatever the clock says, and the wall clock
// only rules out that ticks below `then` wrapped at 2^32 ms (49.7 days).
bool RestartedSince(const RestartSign& then, const RestartSign& now);

enum class UpdateOutcome {
    kInstalled,         // the drive reports the version started
    kNoRestartYet,      // it reports the revision before, and no restart is known
    kDidNotTakeEffect,  // it reports the revision before after a restart
    kOtherVersion,      // it reports something else
};

UpdateOutcome JudgeUpdate(const StartedUpdate& update, std::string_view revisionNow, const RestartSign& signNow);

// What the user is told of an outcome (nothing of kNoRestartYet), for drive `letter`
// with the 24 vendor and product characters `vendorProduct`.
std::string OutcomeText(UpdateOutcome outcome, char letter, std::string_view vendorProduct,
                        const StartedUpdate& update, std::string_view revisionNow);
