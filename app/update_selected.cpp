// "Update selected": downloads the firmware of the selected row over FTP and starts it.
#include <windows.h>
// windows.h first
#include <shellapi.h>

#include <string>

#include "app/update_dlg.h"
#include "framework/win_app.h"
#include "transfer/ftp_transfer_dlg.h"

namespace {

// Every release lands under this name in the current directory, and is started from there.
constexpr char kFirmwareFile[] = "FirmUpdate.EXE";

constexpr char kNoSelection[] = "Please selected a firmware to update!";
constexpr char kDownloaded[] =
    "Firmware file had been downloaded sucessfully. \n System will automatically execute it to update your device. ";
constexpr char kUpdateManually[] = "You had downloaded this firmware successfully, you must update it manually.";

// A release is a program when its location names one anywhere, in either of the two
// cases the servers use; "Exe" does not count.
bool NamesAProgram(const std::string& location) {
    return location.find("EXE") != std::string::npos || location.find("exe") != std::string::npos;
}

}  // namespace

void CUpdateDlg::OnUpdateSelected() {
    // The anchor row of the latest selection. A mark past the rows shown (a list that
    // takes any LVM_SETSELECTIONMARK; never the user's doing) has no entry behind it,
    // and past the slots none at all.
    const int row = m_FirmwareList.GetSelectionMark();
    if (row < 0 || row >= m_FirmwareList.GetItemCount() || row >= kMaxFirmware) {
        AppMessageBox(kNoSelection);
        return;
    }
    const std::string location = m_Firmware[row].URL;

    {
        CFTPTransferDlg transfer;  // owned by this dialog, which it disables while it runs
        transfer.m_Server = m_FtpSites[0];
        transfer.m_RemoteFile = "/" + location;
        transfer.m_LocalFile = kFirmwareFile;
        transfer.m_Download = true;
        transfer.m_Binary = true;
        // IDOK only when the whole file arrived; anything else was reported by the
        // transfer dialog, or was the user's choice.
        if (transfer.DoModal() != IDOK) return;
    }

    Sleep(200);
    AppMessageBox(kDownloaded);
    if (!NamesAProgram(location)) {
        AppMessageBox(kUpdateManually);
        return;
    }
    // The flasher is on its own from here: neither its start nor its end is watched.
    ShellExecuteA(m_hWnd, "open", kFirmwareFile, nullptr, nullptr, SW_SHOW);
    Sleep(10);
}
