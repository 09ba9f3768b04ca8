// The process-wide object of the FTP tests: the FTP command entry, looked up in
// the WinInet that this program imports.
#include "transfer/ftp_command_entry.h"

FtpCommandEntry theFtpCommandEntry;
