// The process-wide objects, constructed in this order before WinMain runs and
// destroyed in the reverse order at exit: the registry logs its discovery into
// the log while it is being constructed, and the application comes last.
#include "app/update_app.h"
#include "drives/drive_registry.h"
#include "log/kernel_log.h"
#include "transfer/ftp_command_entry.h"

KernelLog theKernelLog;
DriveRegistry theDriveRegistry(theKernelLog, RealDrivePlatform());
// Finds FtpCommandA in the WinInet that the program imports (resumed transfers).
FtpCommandEntry theFtpCommandEntry;
CUpdateApp theApp;
