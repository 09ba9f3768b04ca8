// The process-wide objects of the test program: the log and the registry, which the
// tests fill with drives of their own. Discovery finds no optical drive under Wine.
#include "drives/drive_registry.h"
#include "log/kernel_log.h"

KernelLog theKernelLog;
DriveRegistry theDriveRegistry(theKernelLog, RealDrivePlatform());
