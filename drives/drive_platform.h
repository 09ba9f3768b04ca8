// The platform calls that drive discovery makes, gathered in one table so that
// tests can stand in scripted drives for the real ones.
#pragma once

#include <windows.h>

#include <functional>

struct DrivePlatform {
    std::function<BOOL(OSVERSIONINFOA*)> getVersionEx;
};

// The table of the real Win32 calls.
const DrivePlatform& RealDrivePlatform();
