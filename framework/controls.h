// Thin wrappers of the controls the dialogs use. Each holds the control's window
// and turns a call into one SendMessage, so they may be used from a worker thread:
// the control's own thread carries the message out.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "framework/resource_string.h"

class CWndControl {
public:
    void Attach(HWND window) { m_hWnd = window; }
    HWND GetSafeHwnd() const { return m_hWnd; }

    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return SendMessageA(m_hWnd, message, wParam, lParam);
    }
    void SetWindowText(const std::string& text) const { Send(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str())); }
    std::string GetWindowText() const {
        std::vector<char> text(static_cast<size_t>(Send(WM_GETTEXTLENGTH)) + 1, '\0');
        Send(WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
        return text.data();
    }
    void EnableWindow(bool enable) const { ::EnableWindow(m_hWnd, enable); }

protected:
    HWND m_hWnd = nullptr;
};

class CStatic : public CWndControl {};

class CComboBox : public CWndControl {
public:
    void ResetContent() const { Send(CB_RESETCONTENT); }
    // Adds at the end unless the box sorts; answers the position, or CB_ERR.
    int AddString(const char* text) const { return static_cast<int>(Send(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text))); }
    int GetCount() const { return static_cast<int>(Send(CB_GETCOUNT)); }
    int GetCurSel() const { return static_cast<int>(Send(CB_GETCURSEL)); }  // CB_ERR (-1): none
    int SetCurSel(int index) const { return static_cast<int>(Send(CB_SETCURSEL, static_cast<WPARAM>(index))); }
    std::string GetLBText(int index) const {
        const LRESULT length = Send(CB_GETLBTEXTLEN, static_cast<WPARAM>(index));
        if (length == CB_ERR) return {};
        std::vector<char> text(static_cast<size_t>(length) + 1, '\0');
        Send(CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
        return text.data();
    }
};

class CListCtrl : public CWndControl {
public:
    DWORD GetExtendedStyle() const { return static_cast<DWORD>(Send(LVM_GETEXTENDEDLISTVIEWSTYLE)); }
    void SetExtendedStyle(DWORD style) const { Send(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, style); }

    // `format` LVCFMT_LEFT, LVCFMT_CENTER, ...; width in pixels. Answers the index or -1.
    int InsertColumn(int column, const char* heading, int format, int width) const {
        LVCOLUMNA entry{};
        entry.mask = LVCF_TEXT | LVCF_FMT | LVCF_WIDTH | LVCF_SUBITEM;
        entry.fmt = format;
        entry.cx = width;
        entry.pszText = const_cast<char*>(heading);
        entry.iSubItem = column;
        return static_cast<int>(Send(LVM_INSERTCOLUMNA, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&entry)));
    }
    // A row with text only; answers its index or -1.
    int InsertItem(int item, const std::string& text) const {
        LVITEMA entry{};
        entry.mask = LVIF_TEXT;
        entry.iItem = item;
        entry.pszText = const_cast<char*>(text.c_str());
        return static_cast<int>(Send(LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&entry)));
    }
    bool SetItemText(int item, int subItem, const std::string& text) const {
        LVITEMA entry{};
        entry.iSubItem = subItem;
        entry.pszText = const_cast<char*>(text.c_str());
        return Send(LVM_SETITEMTEXTA, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&entry)) != FALSE;
    }
    std::string GetItemText(int item, int subItem) const {
        std::vector<char> text(256);
        for (;;) {  // the answer is the length copied; a full buffer may mean a cut text
            LVITEMA entry{};
            entry.iSubItem = subItem;
            entry.pszText = text.data();
            entry.cchTextMax = static_cast<int>(text.size());
            const auto length = static_cast<size_t>(
                Send(LVM_GETITEMTEXTA, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&entry)));
            if (length + 1 < text.size()) return std::string(text.data(), length);
            text.resize(text.size() * 2);
        }
    }
    bool DeleteAllItems() const { return Send(LVM_DELETEALLITEMS) != FALSE; }
    int GetItemCount() const { return static_cast<int>(Send(LVM_GETITEMCOUNT)); }
    int GetSelectionMark() const { return static_cast<int>(Send(LVM_GETSELECTIONMARK)); }  // -1: none
};

class CProgressCtrl : public CWndControl {
public:
    // Both bounds are 16-bit (PBM_SETRANGE).
    void SetRange(short lower, short upper) const { Send(PBM_SETRANGE, 0, MAKELPARAM(lower, upper)); }
    int SetPos(int position) const { return static_cast<int>(Send(PBM_SETPOS, static_cast<WPARAM>(position))); }
    int GetPos() const { return static_cast<int>(Send(PBM_GETPOS)); }
};

class CAnimateCtrl : public CWndControl {
public:
    // Opens the AVI resource `id` of the program's resources.
    bool Open(UINT id) const {
        return Send(ACM_OPENA, reinterpret_cast<WPARAM>(ResourceInstance()), reinterpret_cast<LPARAM>(MAKEINTRESOURCEA(id))) != FALSE;
    }
    // Frames `from` to `to` (-1: the last), `repeat` times (-1: endlessly).
    bool Play(UINT from, UINT to, UINT repeat) const {
        return Send(ACM_PLAY, repeat, MAKELPARAM(from, to)) != FALSE;
    }
    bool Stop() const { return Send(ACM_STOP) != FALSE; }
    void Close() const { Send(ACM_OPENA, 0, 0); }
};
