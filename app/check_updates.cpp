// "Check updates": fetches the update list for the selected drive's model and lists
// its releases.
#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/signed_list.h"
#include "app/update_dlg.h"
#include "framework/file.h"
#include "framework/win_app.h"
#include "list/list_reading.h"
#include "list/list_texts.h"
#include "list/update_list.h"
#include "transfer/http_download_dlg.h"
#include "xml/xml_document.h"

#ifndef NIMBREL_UPDATE_SERVER
#error "NIMBREL_UPDATE_SERVER (the update-list server: host[:port], http:// or https://) comes from the build"
#endif

std::string BuiltUpdateServer() { return NIMBREL_UPDATE_SERVER; }

#ifndef NIMBREL_LIST_KEYS
#error "NIMBREL_LIST_KEYS (empty, or minisign public key lines separated by a comma) comes from the build"
#endif

std::vector<std::string> BuiltListKeys() {
    std::vector<std::string> keys;
    const std::string lines = NIMBREL_LIST_KEYS;
    for (size_t at = 0; at < lines.size();) {
        const size_t end = std::min(lines.find(',', at), lines.size());
        keys.push_back(lines.substr(at, end - at));
        at = end + 1;
    }
    return keys;
}

namespace {

constexpr char kListFile[] = "FirmwareUpdate.XML";

using namespace list_text;

// Characters the code page lacks become its default character.
std::string ToAnsi(const std::u16string& text) {
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int units = static_cast<int>(text.size());
    const int length = WideCharToMultiByte(CP_ACP, 0, wide, units, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return {};
    std::string out(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide, units, out.data(), length, nullptr, nullptr);
    return out;
}

// The users' code page, as Windows has it.
const AnsiCodePage& SystemCodePage() {
    static const AnsiCodePage codePage{
        MakeLeadByteTable([](unsigned char b) { return IsDBCSLeadByte(b) != FALSE; }), ToAnsi};
    return codePage;
}

// Reads the saved list whole, as the server sent it. No download leaves one longer than
// kMaxListSize; one kept when the user declined to replace it, or put there otherwise,
// is not read whole.
SavedList ReadListFile() {
    SavedList saved;
    CFile file;
    if (!file.Open(kListFile, CFile::modeRead)) return saved;
    const ULONGLONG length = file.GetLength();
    saved.state = SavedList::State::kTooLarge;
    if (length > kMaxListSize) return saved;
    saved.state = SavedList::State::kRead;
    saved.bytes.assign(static_cast<size_t>(length), '\0');
    size_t read = 0;
    while (read < saved.bytes.size()) {
        const UINT count = file.Read(&saved.bytes[read], static_cast<UINT>(saved.bytes.size() - read));
        if (count == 0) break;
        read += count;
    }
    saved.bytes.resize(read);
    file.Close();
    return saved;
}

// The list is not kept once read. A file that cannot be deleted is reported, and the
// next check asks before replacing it.
void DeleteListFile() {
    CFile file;
    if (!file.Open(kListFile, CFile::modeRead)) return;
    file.Close();
    try {
        CFile::Remove(kListFile);
    } catch (const CFileException& error) {
        AppMessageBox(std::string("Unable to delete the file ") + kListFile +
                      ", Error:" + std::to_string(error.m_lOsError));
    }
}

}  // namespace

void CUpdateDlg::OnCheckUpdates() {
    const int drive = SelectedDrive();
    if (drive < 0 || !NamesTheMaker(m_DriveModel[drive])) {
        AppMessageBox(kChooseMakerProduct);
        return;
    }
    m_ModelName = ModelNameOf(m_DriveModel[drive]);
    m_HostVersion = m_DriveRevision[drive];

    bool downloaded = false;
    {
        CHttpDownloadDlg download;
        download.m_Url = UpdateListUrl(m_UpdateServer, m_ModelName);
        download.m_LocalFile = kListFile;
        download.m_Bound.most = kMaxListSize;
        downloaded = download.DoModal() == IDOK;
    }
    SavedList file;
    if (m_ListKeys.empty()) {
        // Whatever the answer, the file decides what follows.
        if (downloaded) AppMessageBox(kListDownloaded);
        file = ReadListFile();
    } else if (!downloaded) {
        // Only a whole answer can be verified; a failed one leaves at most an empty file.
        DeleteListFile();
    } else if ((file = ReadListFile()).state == SavedList::State::kRead) {
        const ListVerdict verdict = VerifyUpdateList(file.bytes, m_UpdateServer, m_ModelName, m_ListKeys);
        if (verdict != ListVerdict::kVerified) {
            RefuseList(verdict);
            return;
        }
        AppMessageBox(kListDownloaded);
    }

    XmlDocument document;
    const ListReading reading = ReadSavedList(file, SystemCodePage(), document);
    if (reading.outcome == ListReading::Outcome::kNotOpened) {
        AppMessageBox(kCannotOpen);
        return;
    }
    if (reading.outcome == ListReading::Outcome::kNotLoaded) {
        AppMessageBox(kCannotLoad);
        return;
    }
    const UpdateList& list = reading.list;
    if (list.status == kStatusBusy) AppMessageBox(kServerBusy);
    if (list.status == kStatusNoFirmware) AppMessageBox(kNoFirmware);
    for (size_t i = 0; i < list.firmware.size(); ++i) m_Firmware[i] = list.firmware[i];
    for (size_t i = 0; i < list.sites.size(); ++i) m_FtpSites[i] = list.sites[i];

    m_FirmwareList.DeleteAllItems();
    if (reading.corrupt) {
        RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        AppMessageBox(kListCorrupt);
    }
    if (list.status == kStatusListFollows) {
        m_RowsDrive = drive;
        // Each row goes on top, from the last entry back: row r shows m_Firmware[r].
        for (size_t i = list.firmware.size(); i-- > 0;) {
            m_FirmwareList.InsertItem(0, list.projectName);
            m_FirmwareList.SetItemText(0, 1, m_HostVersion);
            m_FirmwareList.SetItemText(0, 2, list.firmware[i].Version);
            m_FirmwareList.SetItemText(0, 3, list.firmware[i].Release);
        }
    }
    DeleteListFile();
}

// Nothing of a list that was not verified stays: no rows, no release and no server
// to download one from, no file.
void CUpdateDlg::RefuseList(ListVerdict verdict) {
    m_FirmwareList.DeleteAllItems();
    for (FirmwareEntry& entry : m_Firmware) entry = {};
    for (std::string& site : m_FtpSites) site.clear();
    DeleteListFile();
    AppMessageBox(RefusalText(verdict));
}
