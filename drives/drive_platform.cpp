#include "drives/drive_platform.h"

const DrivePlatform& RealDrivePlatform() {
    static const DrivePlatform real{
        [](OSVERSIONINFOA* info) { return GetVersionExA(info); },
    };
    return real;
}
