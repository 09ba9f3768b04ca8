// Where the program's files go. "Kernel.log", "FirmwareUpdate.XML" and
// "FirmUpdate.EXE" are named relatively, so they lie in the current directory,
// which the user's way of starting the program chooses. A start elevated with
// "Run as administrator" begins in the system folder, though: the files would go
// there, and the flasher would be started from there. Such a start moves to the
// program's own folder instead; every other start keeps the folder it was given.
#pragma once

#include <string>

// Whether `folder` is `windowsFolder` or lies inside it (case-insensitive, as the
// file system compares names).
bool LiesInFolder(const std::string& folder, const std::string& windowsFolder);

class StartFolder {
public:
    // Moves the current directory to the program's folder when it lies in the
    // Windows folder. Constructed before the log creates its file.
    StartFolder();
    StartFolder(const StartFolder&) = delete;
    StartFolder& operator=(const StartFolder&) = delete;
};
