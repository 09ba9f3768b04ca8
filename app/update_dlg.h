// The main dialog: the drive box filled from the drive registry, the firmware
// list, and the state that "Check updates" writes and "Update selected" reads.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "list/list_signature.h"
#include "list/update_list.h"
#include "framework/controls.h"
#include "framework/dialog.h"

struct RestartSign;
struct StoredUpdate;

// The update-list server the program was built to ask (NIMBREL_UPDATE_SERVER).
std::string BuiltUpdateServer();
// The maker's minisign public key lines the program was built with (NIMBREL_LIST_KEYS);
// none when update lists are not signed.
std::vector<std::string> BuiltListKeys();

class CUpdateDlg : public CDialog {
public:
    static constexpr int kMaxDrives = 20;  // drives beyond these are not listed

    // "Check updates" asks `updateServer` for lists (host[:port], http:// or https://).
    // With `listKeys`, only a list signed with one of them is read, and only a release
    // with a SHA256 in it is downloaded.
    explicit CUpdateDlg(HWND parent = nullptr, std::string updateServer = BuiltUpdateServer(),
                        std::vector<std::string> listKeys = BuiltListKeys());

    // The position of the drive chosen in the drive box, from 0 to the number of
    // drives listed minus one; -1 when the box has no selection. Handlers read the
    // drive slots only through this.
    int SelectedDrive() const;
    int ListedDrives() const { return m_ListedDrives; }

    CListCtrl m_FirmwareList;
    CComboBox m_DriveBox;
    // Per listed drive (position k is drive number k + 1): the 24 vendor and product
    // characters and the 4 revision characters, blanks and NULs kept.
    std::string m_DriveModel[kMaxDrives];
    std::string m_DriveRevision[kMaxDrives];
    char m_DriveLetter[kMaxDrives] = {};
    uint8_t m_DriveAddress[kMaxDrives][3] = {};  // adapter, target, logical unit
    std::string m_ModelName;    // the model of the last update check
    std::string m_HostVersion;  // the revision of the drive of the last update check
    FirmwareEntry m_Firmware[kFirmwareSlots];
    std::string m_FtpSites[kSiteSlots];
    HICON m_AppIcon;  // shared icon: never destroyed
    const std::string m_UpdateServer;
    // The maker's minisign public key lines; a line that does not parse verifies nothing.
    const std::vector<std::string> m_ListKeys;

protected:
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void DoDataExchange() override;
    BOOL OnInitDialog() override;

private:
    void AddAboutItem();
    void FillDriveBox();
    void AddListColumns();
    bool OnSysCommand(UINT id, LPARAM lParam);
    bool OnPaint();
    void OnCheckUpdates();    // check_updates.cpp
    void RefuseList(ListVerdict verdict);
    void OnUpdateSelected();  // update_selected.cpp
    // remembered_updates.cpp: each update started is remembered, and what its drive
    // reports is told at the next start.
    // Starts `program`, the flasher of release `version`, for the drive of the rows; the
    // update is remembered first, and a program that does not start leaves the drive's
    // record as it was.
    void StartUpdate(const char* program, const std::string& version);
    // Whether an update of the drive of the rows to `version` was started in this run:
    // the drive list, read at start, does not show it.
    bool StartedBefore(const std::string& version) const;
    std::string DriveValueName(int drive) const;
    void ReportUpdateOutcomes();
    void ReportUpdateOutcome(int drive, const StoredUpdate& value, const RestartSign& signNow);

    int m_ListedDrives = 0;
    // The drive whose releases the rows show: a failed check keeps the rows of an
    // earlier one. -1 before any rows.
    int m_RowsDrive = -1;
    // Per listed drive, the versions of the updates started in this run.
    std::vector<std::string> m_StartedVersions[kMaxDrives];
};
