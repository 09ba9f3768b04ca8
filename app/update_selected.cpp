#include "app/update_dlg.h"

// "Update selected": downloads the firmware of the selected row over FTP and starts it.
void CUpdateDlg::OnUpdateSelected() {}
