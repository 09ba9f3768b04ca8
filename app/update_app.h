// The application object: runs the main dialog once, then the process ends.
#pragma once

#include "framework/win_app.h"

class CUpdateApp : public CWinApp {
public:
    CUpdateApp() = default;  // no name: the title is the string resource

    // Runs the main dialog modally and answers FALSE, whatever the dialog answered.
    BOOL InitInstance() override;
    bool OnCommand(UINT id) override;
};
