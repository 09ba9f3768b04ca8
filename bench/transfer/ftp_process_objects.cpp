// The benchmark driver's process-wide object: the FTP command entry.
#include "transfer/ftp_command_entry.h"

FtpCommandEntry theFtpCommandEntry;
