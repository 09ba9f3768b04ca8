// Each firmware update the program starts is remembered per drive; at the next start
// the drive's revision tells whether it took.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "app/system_clock.h"
#include "app/update_dlg.h"
#include "app/update_record.h"
#include "app/update_store.h"
#include "framework/win_app.h"

void CUpdateDlg::RememberStartedUpdate(const std::string& version) {
    if (m_RowsDrive < 0) return;
    const int drive = m_RowsDrive;
    const std::optional<std::string> name = UpdateValueName(m_DriveLetter[drive], m_DriveModel[drive]);
    if (!name) return;
    bool wrappingTicks = false;
    const std::optional<StartedUpdate> update =
        UpdateToRemember(m_DriveRevision[drive], version, ComputerStartNow(wrappingTicks));
    if (update) StoreUpdate(*name, FormatStartedUpdate(*update));
}

// Uses the drives of the drive box only: nothing here writes to Kernel.log.
void CUpdateDlg::ReportUpdateOutcomes() {
    std::vector<StoredUpdate> stored = StoredUpdates();
    if (stored.empty()) return;
    bool wrappingTicks = false;
    const int64_t startNow = ComputerStartNow(wrappingTicks);
    for (int k = 0; k < m_ListedDrives; ++k) {
        const std::optional<std::string> name = UpdateValueName(m_DriveLetter[k], m_DriveModel[k]);
        if (!name) continue;
        for (const StoredUpdate& value : stored) {
            if (lstrcmpiA(value.name.c_str(), name->c_str()) != 0) continue;
            const std::optional<StartedUpdate> update = ParseStartedUpdate(value.data);
            if (!update) {
                ForgetStoredUpdate(value.name);  // without a word
                break;
            }
            const UpdateOutcome outcome = JudgeUpdate(*update, m_DriveRevision[k], startNow, wrappingTicks);
            // Many flashers need a restart before the drive reports its new firmware.
            if (outcome == UpdateOutcome::kNoRestartYet) break;
            // Told once: a value that stays would be told at every start.
            if (ForgetStoredUpdate(value.name)) {
                AppMessageBox(OutcomeText(outcome, m_DriveLetter[k], m_DriveModel[k], *update, m_DriveRevision[k]));
            }
            break;
        }
    }
}
