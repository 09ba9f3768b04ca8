// A fresh, empty folder that becomes the current directory for one test, so that
// files the program names relatively ("Kernel.log", ...) land there.
#pragma once

#include <string>

class ScratchDir {
public:
    ScratchDir();   // creates the folder and makes it current
    ~ScratchDir();  // restores the previous current directory and removes the folder
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
    std::string previous_;
};

// Whole-file helpers for checking what the program wrote.
std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);

// A Unix path of this machine as Wine sees it (on drive Z:).
std::string WinePath(const std::string& unixPath);
