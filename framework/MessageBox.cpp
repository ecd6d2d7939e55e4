#include "MessageBox.h"

#include "Afx.h"
#include "FrameworkIds.h"
#include "Language.h"
#include "String.h"

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

} // namespace

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
