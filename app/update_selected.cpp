// "Update selected": downloads the firmware of the selected row from the list's first
// site, over FTP or from a web server, and starts it.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "app/update_dlg.h"
#include "app/version_rule.h"
#include "digest/sha256.h"
#include "framework/file.h"
#include "framework/resource_string.h"
#include "framework/win_app.h"
#include "res/resource.h"
#include "transfer/ftp_transfer_dlg.h"
#include "transfer/http_download_dlg.h"

namespace {

// Every release lands under this name in the current directory, and is started from there.
constexpr char kFirmwareFile[] = "FirmUpdate.EXE";

constexpr char kNoSelection[] = "Please selected a firmware to update!";
constexpr char kDownloaded[] =
    "Firmware file had been downloaded sucessfully. \n System will automatically execute it to update your device. ";
constexpr char kUpdateManually[] = "You had downloaded this firmware successfully, you must update it manually.";
constexpr char kNotListedFile[] =
    "The downloaded file does not match the update list. It has been deleted and was not started.";
constexpr char kNotListedFileKept[] =
    "The downloaded file does not match the update list and was not started. It could not be deleted, Error:";
constexpr char kCannotBeChecked[] =
    "This release cannot be checked: the update list gives no SHA-256 for it. It was not downloaded.";

// The list's site is none the program can download from.
std::string UnusableSiteMessage(const std::string& site) {
    return "The firmware cannot be downloaded: the update list gives its server as \"" + site +
           "\", which is neither a host name nor an ftp://, http:// or https:// address.";
}

// Asks before a release whose update was started already in this run; true to go on.
// The first may still be flashing: No is the default.
bool ConfirmStartedAgain(const std::string& version) {
    return AppMessageBox("An update of the drive to " + CleanVersion(version).value_or(version) +
                             " has already been started; the drive may report it only after a restart of the "
                             "computer. Do you want to install it again?",
                         MB_YESNO | MB_DEFBUTTON2) == IDYES;
}

// Asks before firmware older than the drive's, or the same as it, or started already
// (`startedBefore`); true to go on. A version the rule cannot place is not asked about
// unless it was started already.
bool ConfirmVersion(const std::string& driveRevision, const std::string& version, bool startedBefore) {
    const std::optional<VersionOrder> order = CompareRelease(driveRevision, version);
    if (!order || *order == VersionOrder::kNewer) return !startedBefore || ConfirmStartedAgain(version);
    const std::string drive = *CleanVersion(driveRevision), release = *CleanVersion(version);
    if (*order == VersionOrder::kOlder) {
        return AppMessageBox("The drive has firmware " + drive + ", and this release, " + release +
                                 ", is older. Do you want to install the older firmware?",
                             MB_YESNO | MB_DEFBUTTON2) == IDYES;
    }
    return AppMessageBox("The drive already has firmware " + drive +
                             ", the version of this release. Do you want to install it again?",
                         MB_YESNO) == IDYES;
}

// Fetches the release into kFirmwareFile, with the transfer dialog of its site, within
// `bound`. An existing file is replaced only after a Yes. True only when the whole file
// arrived; otherwise no file of that name is left, unless the user chose to keep it (a
// dialog that ended early may leave one, empty or partial, behind).
bool DownloadRelease(const ReleaseAddress& address, const DownloadBound& bound) {
    if (GetFileAttributesA(kFirmwareFile) != INVALID_FILE_ATTRIBUTES &&
        AppMessageBox(FormatResString(IDS_FTP_REPLACE, kFirmwareFile), MB_YESNO) != IDYES) {
        return false;
    }
    // Each dialog is owned by the main dialog, which it disables while it runs. IDOK
    // only when the whole file arrived; anything else was reported by the dialog, or
    // was the user's choice.
    INT_PTR result = IDCANCEL;
    if (address.via == ReleaseAddress::Via::kWeb) {
        CHttpDownloadDlg download;
        download.m_Url = address.url;
        download.m_LocalFile = kFirmwareFile;
        download.m_PromptOverwrite = false;  // asked above
        download.m_RedirectsToAnyHost = true;  // mirrors; the listed digest vouches for the file
        download.m_Bound = bound;
        result = download.DoModal();
    } else {
        CFTPTransferDlg transfer;
        transfer.m_Server = address.server;
        transfer.m_RemoteFile = address.path;
        transfer.m_LocalFile = kFirmwareFile;
        transfer.m_Download = true;
        transfer.m_Binary = true;
        transfer.m_PromptOverwrite = false;  // asked above
        transfer.m_Passive = true;  // works behind NAT; the dialog falls back to active mode
        transfer.m_Bound = bound;
        result = transfer.DoModal();
    }
    if (result == IDOK) return true;
    DeleteFileA(kFirmwareFile);
    return false;
}

// A release is a program when its location names one anywhere, in either of the two
// cases the servers use; "Exe" does not count.
bool NamesAProgram(const std::string& location) {
    return location.find("EXE") != std::string::npos || location.find("exe") != std::string::npos;
}

// The digest of a file, read in pieces; none when it cannot be read whole.
std::optional<Sha256::Digest> FileDigest(const char* name) {
    CFile file;
    if (!file.Open(name, CFile::modeRead | CFile::shareDenyWrite)) return std::nullopt;
    Sha256 hash;
    std::vector<char> piece(64 * 1024);
    try {
        while (const UINT read = file.Read(piece.data(), static_cast<UINT>(piece.size()))) {
            hash.Update(piece.data(), read);
        }
    } catch (const CFileException&) {
        return std::nullopt;
    }
    return hash.Finish();
}

// Whether the downloaded file is the one the list names: without a listed digest
// there is nothing to hold it to; a listed value that is no digest matches nothing.
bool IsTheListedFile(const std::string& listed) {
    if (listed.empty()) return true;
    const std::optional<Sha256::Digest> expected = ParseDigest(listed);
    return expected && FileDigest(kFirmwareFile) == expected;
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
    const std::string listedDigest = m_Firmware[row].SHA256;
    // With keys, the signed list vouches for a release only through its digest.
    if (!m_ListKeys.empty() && listedDigest.empty()) {
        AppMessageBox(kCannotBeChecked);
        return;
    }

    const ReleaseAddress address = ReleaseAddressOf(m_FtpSites[0], location);
    if (address.via == ReleaseAddress::Via::kUnusable) {
        AppMessageBox(UnusableSiteMessage(m_FtpSites[0]));
        return;
    }
    const std::string version = m_Firmware[row].Version;
    if (!ConfirmVersion(m_RowsDrive >= 0 ? m_DriveRevision[m_RowsDrive] : std::string(), version,
                        StartedBefore(version))) {
        return;
    }
    // Only a verified list vouches for a Size: an unsigned one comes from the same
    // server as the file, and lists have given it loosely.
    const DownloadBound bound{kMaxFirmwareSize, m_ListKeys.empty() ? std::nullopt : ListedSize(m_Firmware[row].Size)};
    if (!DownloadRelease(address, bound)) return;
    if (!IsTheListedFile(listedDigest)) {
        // Not left where the user could start it by hand; the message says whether it went.
        const DWORD error = DeleteFileA(kFirmwareFile) ? ERROR_SUCCESS : GetLastError();
        if (error == ERROR_SUCCESS || error == ERROR_FILE_NOT_FOUND) {
            AppMessageBox(kNotListedFile);
        } else {
            AppMessageBox(kNotListedFileKept + std::to_string(error));
        }
        return;
    }

    Sleep(200);
    AppMessageBox(kDownloaded);
    if (!NamesAProgram(location)) {
        AppMessageBox(kUpdateManually);
        return;
    }
    // The flasher is on its own from here; what the drive reports at the next start
    // tells whether it took.
    StartUpdate(kFirmwareFile, version);
    Sleep(10);
}
