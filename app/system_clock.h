// The clock as the program reads it on Windows.
#pragma once

#include <cstdint>

// The time now, in Unix seconds (UTC).
int64_t UnixTimeNow();

// When the computer started, in Unix seconds: now less the time since the start,
// from GetTickCount64 where the system has it (looked up: Windows Vista and later),
// else from GetTickCount, whose 32-bit count wraps every 49.7 days (`wrappingTicks`).
int64_t ComputerStartNow(bool& wrappingTicks);
