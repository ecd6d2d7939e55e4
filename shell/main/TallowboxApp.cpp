#include "shell/main/TallowboxApp.h"

#include "engine/base/Settings.h"
#include "framework/DocTemplate.h"
#include "framework/Language.h"
#include "res/resource.h"
#include "shell/document/TallowboxDoc.h"
#include "shell/main/MainFrm.h"
#include "shell/main/ShellMessages.h"
#include "shell/main/TallowboxView.h"

// No name is given: the title comes from the string table.
CTallowboxApp::CTallowboxApp() : CWinApp(nullptr) {}

CTallowboxApp::~CTallowboxApp() = default;

namespace {

// Language= in the settings, otherwise the user's interface language: set before any window.
LANGID ChosenLanguage(LanguageSetting setting) {
    switch (setting) {
    case LanguageSetting::Japanese:
        return kJapanese;
    case LanguageSetting::English:
        return kEnglish;
    case LanguageSetting::User:
        break;
    }
    return UserScreenLanguage();
}

} // namespace

BOOL CTallowboxApp::InitInstance() {
    SetScreenLanguage(ChosenLanguage(ReadSettings(CTallowboxDoc::ProgramFolderInUse()).language));
    AfxEnableControlContainer();
    Enable3dControlsStatic();
    SetRegistryKey("Local AppWizard-Generated Applications");
    LoadStdProfileSettings(0);

    AddDocTemplate(new CSingleDocTemplate(IDR_MAINFRAME, &CTallowboxDoc::runtimeClass,
                                          &CMainFrame::runtimeClass, &CTallowboxView::runtimeClass));

    CCommandLineInfo cmdInfo;
    ParseCommandLine(cmdInfo);
    if (!ProcessShellCommand(cmdInfo))
        return FALSE;

    // Also shows the window when the process was started with a hidden show command; one started
    // minimized (the Startup folder's shortcut) may have gone to the notification area: it stays there.
    if (!::IsIconic(m_pMainWnd->m_hWnd))
        m_pMainWnd->ShowWindow(SW_SHOW);
    m_pMainWnd->UpdateWindow();
    m_pMainWnd->PostMessage(WM_AFTER_FIRST_PAINT);
    return TRUE;
}

BOOL CTallowboxApp::OnCmdMsg(UINT nID) {
    switch (nID) {
    case ID_APP_ABOUT:
        OnAppAbout();
        return TRUE;
    default:
        return CWinApp::OnCmdMsg(nID);
    }
}
