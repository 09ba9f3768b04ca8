// The process-wide objects, constructed in this order before WinMain runs and
// destroyed in the reverse order at exit: the registry logs its discovery into
// the log while it is being constructed, and the application comes last. Before
// them all, the start folder decides where the log and the downloads go.
#include "framework/start_folder.h"
#include "app/update_app.h"
#include "drives/drive_registry.h"
#include "log/kernel_log.h"
#include "transfer/ftp_command_entry.h"

StartFolder theStartFolder;
KernelLog theKernelLog;
DriveRegistry theDriveRegistry(theKernelLog, RealDrivePlatform());
// Finds FtpCommandA in the WinInet that the program imports (resumed transfers).
FtpCommandEntry theFtpCommandEntry;
CUpdateApp theApp;
