// The process-wide objects of the test program: the log and the registry, which the
// tests fill with drives of their own (discovery finds no optical drive under Wine),
// then the FTP command entry that "Update selected" reaches through the FTP dialog.
#include "drives/drive_registry.h"
#include "log/kernel_log.h"
#include "tests/win/support/list_signing.h"
#include "transfer/ftp_command_entry.h"

KernelLog theKernelLog;
DriveRegistry theDriveRegistry(theKernelLog, RealDrivePlatform());
FtpCommandEntry theFtpCommandEntry;

// The main dialog reports at its start on the updates started before; the Wine
// prefix outlives a run, so each test program starts without any.
const bool theUpdatesForgotten = (ForgetStartedUpdates(), true);
