// The program's process-wide objects, with two drives added to the registry after
// discovery, as if it had found them.
#include "app/update_app.h"
#include "drives/drive_registry.h"
#include "log/kernel_log.h"

KernelLog theKernelLog;
DriveRegistry theDriveRegistry(theKernelLog, RealDrivePlatform());

namespace {

const bool drivesAdded = [] {
    theDriveRegistry.AddDrive("ZORIX   DVD-RW XR-1680  1.02", 'D', 1, 0, 0, 1);
    theDriveRegistry.AddDrive("ZORIX   CD-RW CR-5232   2.10", 'E', 1, 1, 0, 1);
    return true;
}();

}  // namespace

CUpdateApp theApp;
