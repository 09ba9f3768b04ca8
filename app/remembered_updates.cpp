// Each firmware update the program starts is remembered per drive; at the next start
// the drive's revision tells whether it took.
#include <windows.h>
// windows.h first
#include <shellapi.h>

#include <optional>
#include <string>
#include <vector>

#include "app/system_clock.h"
#include "app/update_dlg.h"
#include "list/update_record.h"
#include "app/update_store.h"
#include "list/version_rule.h"
#include "framework/win_app.h"

namespace {

// What value `name` holds now, if anything.
std::optional<std::string> StoredData(const std::string& name) {
    for (const StoredUpdate& value : StoredUpdates()) {
        if (lstrcmpiA(value.name.c_str(), name.c_str()) == 0) return value.data;
    }
    return std::nullopt;
}

}  // namespace

std::string CUpdateDlg::DriveValueName(int drive) const {
    return UpdateValueName(m_DriveAddress[drive][0], m_DriveAddress[drive][1], m_DriveAddress[drive][2],
                           m_DriveModel[drive]);
}

bool CUpdateDlg::StartedBefore(const std::string& version) const {
    if (m_RowsDrive < 0) return false;
    for (const std::string& started : m_StartedVersions[m_RowsDrive]) {
        if (started == version || CompareRelease(started, version) == VersionOrder::kSame) return true;
    }
    return false;
}

void CUpdateDlg::StartUpdate(const char* program, const std::string& version) {
    const int drive = m_RowsDrive;
    // Remembered first, and flushed to the disk: a flasher may restart the computer as
    // soon as it is done.
    std::string name;
    std::optional<std::string> earlier;
    bool remembered = false;
    if (drive >= 0) {
        const std::optional<StartedUpdate> update =
            UpdateToRemember(m_DriveRevision[drive], version, TakeRestartSign());
        if (update) {
            name = DriveValueName(drive);
            earlier = StoredData(name);
            remembered = StoreUpdate(name, FormatStartedUpdate(*update));
        }
    }
    const auto started = reinterpret_cast<INT_PTR>(ShellExecuteA(m_hWnd, "open", program, nullptr, nullptr, SW_SHOW));
    if (started > 32) {
        if (drive >= 0) m_StartedVersions[drive].push_back(version);
        return;
    }
    // Nothing started: the drive's record is what it was.
    if (remembered) {
        if (earlier) {
            StoreUpdate(name, *earlier);
        } else {
            ForgetStoredUpdate(name);
        }
    }
}

// Uses the drives of the drive box only: nothing here writes to Kernel.log. A record
// whose drive is not listed stays while its place is free (a drive switched off or
// unplugged comes back there), and is forgotten without a word once another drive is
// listed at that place: its own was moved or replaced.
void CUpdateDlg::ReportUpdateOutcomes() {
    const std::vector<StoredUpdate> stored = StoredUpdates();
    if (stored.empty()) return;
    const RestartSign signNow = RestartSignNow();
    std::vector<bool> ofAListedDrive(stored.size());
    for (int k = 0; k < m_ListedDrives; ++k) {
        const std::string name = DriveValueName(k);
        for (size_t i = 0; i < stored.size(); ++i) {
            if (lstrcmpiA(stored[i].name.c_str(), name.c_str()) != 0) continue;
            ofAListedDrive[i] = true;
            ReportUpdateOutcome(k, stored[i], signNow);
            break;
        }
    }
    for (size_t i = 0; i < stored.size(); ++i) {
        if (ofAListedDrive[i]) continue;
        const std::optional<std::string> place = PlaceOfValueName(stored[i].name);
        bool placeTaken = false;
        for (int k = 0; k < m_ListedDrives && place && !placeTaken; ++k) {
            placeTaken = PlaceOfValueName(DriveValueName(k)) == place;
        }
        if (!place || placeTaken) ForgetStoredUpdate(stored[i].name);
    }
}

void CUpdateDlg::ReportUpdateOutcome(int drive, const StoredUpdate& value, const RestartSign& signNow) {
    const std::optional<StartedUpdate> update = ParseStartedUpdate(value.data);
    if (!update) {
        ForgetStoredUpdate(value.name);  // without a word
        return;
    }
    const UpdateOutcome outcome = JudgeUpdate(*update, m_DriveRevision[drive], signNow);
    // Many flashers need a restart before the drive reports its new firmware.
    if (outcome == UpdateOutcome::kNoRestartYet) return;
    // Told once, by the one program whose delete removed the record.
    if (ForgetStoredUpdate(value.name)) {
        AppMessageBox(OutcomeText(outcome, m_DriveLetter[drive], m_DriveModel[drive], *update, m_DriveRevision[drive]));
    }
}
