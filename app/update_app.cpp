#include "app/update_app.h"

#include "app/update_dlg.h"

BOOL CUpdateApp::InitInstance() {
    Enable3dControlsStatic();
    CUpdateDlg dialog;
    m_pMainWnd = &dialog;
    dialog.DoModal();
    m_pMainWnd = nullptr;  // the dialog object ends here
    return FALSE;
}

bool CUpdateApp::OnCommand(UINT id) {
    switch (id) {
    case kHelpCommandId:
        OnHelp();
        return true;
    default:
        return false;
    }
}
