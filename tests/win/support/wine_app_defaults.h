// Wine's per-program settings (HKCU\Software\Wine\AppDefaults\<exe>), for tests
// that start a program of the build as another Windows version or with other
// DLLs. The key starts empty (whatever a run cut short left there is removed) and
// is removed again at the end of the test, so that later tests see Wine's defaults.
#pragma once

#include <string>

class WineAppDefaults {
public:
    explicit WineAppDefaults(const std::string& exeName);  // e.g. "nimbrel.exe"; starts empty
    ~WineAppDefaults();
    WineAppDefaults(const WineAppDefaults&) = delete;
    WineAppDefaults& operator=(const WineAppDefaults&) = delete;

    // The Windows version Wine reports to the program: "win98", "winxp", ...
    bool SetVersion(const std::string& version);
    // Load order of one DLL for the program: "native" loads the DLL found beside
    // it (or on the search path) instead of Wine's own.
    bool SetDllOverride(const std::string& dll, const std::string& order);

private:
    bool SetValue(const std::string& subkey, const std::string& name, const std::string& value);

    std::string key_;
};
