// "Update selected": downloads the firmware of the selected row from the list's first
// site, over FTP or from a web server, and starts it.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "app/update_dlg.h"
#include "list/list_texts.h"
#include "list/release_decisions.h"
#include "digest/sha256.h"
#include "framework/file.h"
#include "framework/resource_string.h"
#include "framework/win_app.h"
#include "res/resource.h"
#include "transfer/ftp_transfer_dlg.h"
#include "transfer/http_download_dlg.h"

namespace {

using namespace list_text;

// Asks the question, if any, before the download; true to go on.
bool Confirm(const VersionQuestion& question) {
    if (question.kind == VersionQuestion::Kind::kNone) return true;
    return AppMessageBox(question.text, MB_YESNO | (question.noByDefault ? MB_DEFBUTTON2 : 0)) == IDYES;
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

}  // namespace

void CUpdateDlg::OnUpdateSelected() {
    // The anchor row of the latest selection. A mark past the rows shown (a list that
    // takes any LVM_SETSELECTIONMARK; never the user's doing) has no entry behind it,
    // and past the slots none at all.
    const int row = m_FirmwareList.GetSelectionMark();
    if (row < 0 || row >= m_FirmwareList.GetItemCount() || row >= static_cast<int>(kFirmwareSlots)) {
        AppMessageBox(kNoSelection);
        return;
    }
    const FirmwareEntry entry = m_Firmware[row];
    const bool listVerified = !m_ListKeys.empty();
    if (const std::optional<std::string> refusal = RefusalBeforeDownload(entry, m_FtpSites[0], listVerified)) {
        AppMessageBox(*refusal);
        return;
    }
    const std::string version = entry.Version;
    const std::string driveRevision = m_RowsDrive >= 0 ? m_DriveRevision[m_RowsDrive] : std::string();
    if (!Confirm(QuestionBeforeDownload(driveRevision, version, StartedBefore(version)))) return;
    if (!DownloadRelease(ReleaseAddressOf(m_FtpSites[0], entry.URL), ReleaseBound(entry, listVerified))) return;
    const std::optional<Sha256::Digest> digest =
        entry.SHA256.empty() ? std::nullopt : FileDigest(kFirmwareFile);
    if (!IsTheListedFile(entry.SHA256, digest)) {
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
    if (!NamesAProgram(entry.URL)) {
        AppMessageBox(kUpdateManually);
        return;
    }
    // The flasher is on its own from here; what the drive reports at the next start
    // tells whether it took.
    StartUpdate(kFirmwareFile, version);
    Sleep(10);
}
