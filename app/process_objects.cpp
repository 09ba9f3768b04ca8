// The process-wide objects, constructed in this order before WinMain runs and
// destroyed in the reverse order at exit: the registry logs its discovery into
// the log while it is being constructed, and the application comes last.
#include "app/update_app.h"
#include "drives/drive_registry.h"
#include "log/kernel_log.h"

KernelLog theKernelLog;
DriveRegistry theDriveRegistry(theKernelLog, RealDrivePlatform());
// The FTP command entry (the resolver of FtpCommandA) goes here, between the
// registry and the application.
CUpdateApp theApp;
