// The clock, and the sign of the computer's start, as the program reads them on Windows.
#pragma once

#include <cstdint>

#include "list/update_record.h"

// The time now, in Unix seconds (UTC).
int64_t UnixTimeNow();

// The restart sign of a firmware update about to be started. On the NT family
// (chosen by GetVersion: the 98 family takes the volatile option and ignores it) it
// is a volatile key, HKEY_LOCAL_MACHINE\Software\Nimbrel\Boot, made here when it is
// missing: the system keeps it only until it restarts. HKEY_CURRENT_USER would lose
// it at a logoff too, which is no restart; HKEY_LOCAL_MACHINE needs an administrator,
// and without one there is no sign. On the 98 family it is the tick count.
RestartSign TakeRestartSign();

// The same sign as it reads now, to compare with one taken earlier; makes nothing.
RestartSign RestartSignNow();
