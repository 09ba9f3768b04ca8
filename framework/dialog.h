// The modal dialog base.
//
// DoModal runs DialogBoxParam with the object in lParam; WM_INITDIALOG keeps it in
// the window's GWLP_USERDATA, and one static dialog procedure hands every later
// message to the virtual OnMessage. OnMessage is the message map: a derived dialog
// overrides it with one switch and passes what it does not handle on to the base.
// No exception ever leaves the dialog procedure: it is reported in a message box.
//
// After OnInitDialog the base centres the dialog on its owner, or on its monitor's work
// area, unless it is a child window, OnInitDialog moved it or showed it, or its
// template asks for a place of its own (DS_ABSALIGN, DS_CENTER, DS_CENTERMOUSE).
#pragma once

#include <windows.h>

class CDialog {
public:
    // `parent` nullptr: the owner is DefaultOwner() when the dialog is run.
    explicit CDialog(UINT templateId, HWND parent = nullptr);
    virtual ~CDialog();
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // Runs the dialog modally; answers what EndDialog was given, or -1 when the
    // window could not be created.
    INT_PTR DoModal();
    void EndDialog(INT_PTR result);

    HWND GetSafeHwnd() const { return m_hWnd; }
    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }

protected:
    // The message map. Answers whether the message was handled; `result` is what the
    // message answers (the focus flag of WM_INITDIALOG, the icon of WM_QUERYDRAGICON,
    // or what a sender of a custom message receives). The base handles
    // WM_INITDIALOG, WM_COMMAND (IDOK, IDCANCEL, then the application's command map),
    // WM_CLOSE and WM_DESTROY; everything else goes to the system's default handling.
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

    // Runs DoDataExchange, which binds the controls. TRUE: the system puts the focus
    // on the first control with a tab stop.
    virtual BOOL OnInitDialog();
    // Binds controls to members by id: Bind(m_List, 1000). Runs once, at initialisation.
    virtual void DoDataExchange() {}
    virtual void OnOK() { EndDialog(IDOK); }          // Enter
    virtual void OnCancel() { EndDialog(IDCANCEL); }  // Escape, the Cancel button
    virtual void OnClose() { OnCancel(); }            // the close box, Alt+F4
    virtual void OnDestroy() {}

    template <class Control>
    void Bind(Control& control, int id) {
        control.Attach(GetDlgItem(id));
    }

    // Centres the dialog on its owner and keeps it inside the work area of the owner's
    // monitor; without an owner, or with one hidden or minimised, it centres it on the
    // work area of its own monitor. For an OnInitDialog that shows the dialog itself
    // (which opts out of the automatic centring).
    void CenterWindow();

    HWND m_hWnd = nullptr;

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // Whether the template's style asks the dialog manager for a place of its own.
    bool TemplatePlacesItself() const;

    UINT m_TemplateId;
    HWND m_Parent;
};
