#include "app/update_dlg.h"

#include <cstdint>
#include <utility>

#include "app/about_dlg.h"
#include "drives/drive_info.h"
#include "framework/resource_string.h"
#include "res/resource.h"

CUpdateDlg::CUpdateDlg(HWND parent, std::string updateServer, std::vector<std::string> listKeys)
    : CDialog(IDD_MAIN, parent),
      m_AppIcon(LoadIconA(ResourceInstance(), MAKEINTRESOURCEA(IDR_MAINFRAME))),
      m_UpdateServer(std::move(updateServer)),
      m_ListKeys(std::move(listKeys)) {}

void CUpdateDlg::DoDataExchange() {
    Bind(m_FirmwareList, IDC_FIRMWARE_LIST);
    Bind(m_DriveBox, IDC_DRIVE_BOX);
}

BOOL CUpdateDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    AddAboutItem();
    SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_AppIcon));
    SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_AppIcon));
    m_DriveBox.ResetContent();
    FillDriveBox();
    m_FirmwareList.SetExtendedStyle(m_FirmwareList.GetExtendedStyle() | LVS_EX_FULLROWSELECT);
    m_DriveBox.SetCurSel(0);  // with an empty box this leaves no selection
    AddListColumns();
    // Shown first, so that what the drives now report comes over it.
    CenterWindow();
    ShowWindow(m_hWnd, SW_SHOW);
    UpdateWindow(m_hWnd);
    ReportUpdateOutcomes();
    return TRUE;  // the focus goes to the firmware list, the first tab stop
}

void CUpdateDlg::AddAboutItem() {
    HMENU menu = GetSystemMenu(m_hWnd, FALSE);
    if (menu == nullptr) return;
    const std::string text = LoadResString(IDS_ABOUTBOX);
    if (text.empty()) return;
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(menu, MF_STRING, IDM_ABOUTBOX, text.c_str());
}

// Entries read "cdrom<n> :  " followed by the 24 vendor and product characters, a
// blank and the 4 revision characters. The box shows an entry up to its first NUL;
// the slots keep every character.
void CUpdateDlg::FillDriveBox() {
    m_ListedDrives = 0;
    for (uint32_t number = 1; number <= GetDriveCount(); ++number) {  // the count is asked each time
        if (m_ListedDrives == kMaxDrives) break;  // the slots hold 20 drives
        DriveInfo info;
        if (!GetDriveInfo(number, info)) break;
        const int k = m_ListedDrives;
        m_DriveModel[k].assign(info.identity, kVendorProductSize);
        m_DriveRevision[k].assign(info.identity + kVendorProductSize, kRevisionSize);
        m_DriveLetter[k] = info.letter;
        m_DriveAddress[k][0] = info.adapter;
        m_DriveAddress[k][1] = info.target;
        m_DriveAddress[k][2] = info.lun;
        const std::string entry =
            "cdrom" + std::to_string(number) + " :  " + m_DriveModel[k] + " " + m_DriveRevision[k];
        m_DriveBox.AddString(entry.c_str());
        ++m_ListedDrives;
    }
}

void CUpdateDlg::AddListColumns() {
    m_FirmwareList.InsertColumn(0, "ModelName", LVCFMT_LEFT, 200);
    m_FirmwareList.InsertColumn(1, "HOST Ver", LVCFMT_CENTER, 100);
    m_FirmwareList.InsertColumn(2, "Firmware Ver", LVCFMT_LEFT, 95);
    m_FirmwareList.InsertColumn(3, "ReleaseDate", LVCFMT_LEFT, 110);
}

int CUpdateDlg::SelectedDrive() const {
    const int selection = m_DriveBox.GetCurSel();
    return selection >= 0 && selection < m_ListedDrives ? selection : -1;
}

bool CUpdateDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
    case WM_SYSCOMMAND:
        return OnSysCommand(static_cast<UINT>(wParam), lParam);
    case WM_PAINT:
        return OnPaint();
    case WM_QUERYDRAGICON:
        result = reinterpret_cast<LRESULT>(m_AppIcon);
        return true;
    case WM_COMMAND:
        if (HIWORD(wParam) != BN_CLICKED) break;
        switch (LOWORD(wParam)) {
        case IDC_CHECK_UPDATES:
            OnCheckUpdates();
            return true;
        case IDC_UPDATE_SELECTED:
            OnUpdateSelected();
            return true;
        }
        break;
    }
    return CDialog::OnMessage(message, wParam, lParam, result);
}

// Any command from 16 to 31 opens the About box (the low four bits are the
// system's); every other command gets the system's handling.
bool CUpdateDlg::OnSysCommand(UINT id, LPARAM) {
    if ((id & 0xFFF0) != IDM_ABOUTBOX) return false;
    CAboutDlg about;
    about.DoModal();
    return true;
}

// Minimised, the client area shows the icon centred; otherwise the system paints.
bool CUpdateDlg::OnPaint() {
    if (!IsIconic(m_hWnd)) return false;
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(m_hWnd, &paint);
    SendMessageA(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    GetClientRect(m_hWnd, &client);
    const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, m_AppIcon);
    EndPaint(m_hWnd, &paint);
    return true;
}
