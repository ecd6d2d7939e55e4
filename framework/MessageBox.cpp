#include "MessageBox.h"

#include "Afx.h"
#include "FrameworkIds.h"
#include "Language.h"
#include "String.h"

#include <commctrl.h>

#include <string>

namespace {

std::string ApplicationTitle() {
    std::string title = LoadResourceTextA(AFX_IDS_APP_TITLE);
    return title.empty() ? "Tallowbox" : title;
}

HWND MessageBoxOwner() {
    // The active window of this thread, so the box is modal to whatever the user is looking at.
    return ::GetActiveWindow();
}

using TaskDialogIndirectFunction = HRESULT(WINAPI*)(const TASKDIALOGCONFIG*, int*, int*, BOOL*);

// Common controls 6 have task dialogs, and the manifest asks for them; a program started without
// it asks with the system's message box instead.
TaskDialogIndirectFunction TaskDialogFunction() {
    const HMODULE controls = ::GetModuleHandleW(L"comctl32.dll");
    return controls == nullptr ? nullptr
                               : reinterpret_cast<TaskDialogIndirectFunction>(reinterpret_cast<void*>(
                                     ::GetProcAddress(controls, "TaskDialogIndirect")));
}

// The system's icon a message box of this type shows, or none.
LPCSTR IconOf(UINT type) {
    switch (type & MB_ICONMASK) {
    case MB_ICONQUESTION:
        return IDI_QUESTION;
    case MB_ICONWARNING:
        return IDI_WARNING;
    case MB_ICONERROR:
        return IDI_ERROR;
    case MB_ICONINFORMATION:
        return IDI_INFORMATION;
    default:
        return nullptr;
    }
}

} // namespace

int AfxAsk(HWND owner, const std::wstring& text, UINT type) {
    const std::wstring title = LoadResourceText(AFX_IDS_APP_TITLE);
    const TaskDialogIndirectFunction show = TaskDialogFunction();
    const bool question = (type & MB_TYPEMASK) == MB_YESNO;
    const std::wstring yes = LoadResourceText(question ? AFX_IDS_ANSWER_YES : AFX_IDS_ANSWER_OK),
                       no = LoadResourceText(AFX_IDS_ANSWER_NO);
    if (show == nullptr || yes.empty() || (question && no.empty()))
        return ::MessageBoxW(owner, text.c_str(), title.c_str(), type);
    const TASKDIALOG_BUTTON buttons[] = {{question ? IDYES : IDOK, yes.c_str()}, {IDNO, no.c_str()}};
    TASKDIALOGCONFIG config = {};
    config.cbSize = sizeof config;
    config.hwndParent = owner;
    config.dwFlags = question ? 0 : TDF_ALLOW_DIALOG_CANCELLATION; // no way out of a question but its answers
    config.pszWindowTitle = title.c_str();
    config.pszContent = text.c_str();
    config.cButtons = question ? 2 : 1;
    config.pButtons = buttons;
    config.nDefaultButton = question && (type & MB_DEFMASK) == MB_DEFBUTTON2 ? IDNO : buttons[0].nButtonID;
    if (const LPCSTR icon = IconOf(type)) {
        config.dwFlags |= TDF_USE_HICON_MAIN;
        config.hMainIcon = ::LoadIconA(nullptr, icon);
    }
    int pressed = 0;
    if (FAILED(show(&config, &pressed, nullptr, nullptr)))
        return ::MessageBoxW(owner, text.c_str(), title.c_str(), type);
    return question ? pressed : IDOK; // Esc on a notice is its OK
}

int AfxMessageBox(LPCSTR lpszText, UINT nType) {
    return ::MessageBoxA(MessageBoxOwner(), lpszText, ApplicationTitle().c_str(), nType);
}

int AfxMessageBox(UINT nIDPrompt, UINT nType) {
    std::string text = LoadResourceTextA(nIDPrompt);
    if (text.empty())
        text = "Tallowbox: string " + std::to_string(nIDPrompt) + " is missing from the resources.";
    return AfxMessageBox(text.c_str(), nType);
}

void AfxReportException(const std::exception& error) {
    const bool resource = dynamic_cast<const CResourceException*>(&error) != nullptr;
    AfxMessageBox(resource ? AFX_IDP_RESOURCE_FAILURE : AFX_IDP_COMMAND_FAILURE);
}
