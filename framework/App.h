// CWinApp: the application object. One exists per program (a global of the program); the entry
// point (AfxWinMain) runs its InitInstance and then its message loop, which offers every queued
// message to the objects of its window and that window's parents before dispatching it.
// It also owns the document template and the registry profile.
#pragma once

#include "CommandLine.h"
#include "Wnd.h"

#include <memory>

class CSingleDocTemplate;
class CDocument;

class CWinApp : public CCmdTarget {
public:
    explicit CWinApp(LPCSTR lpszAppName = nullptr);
    ~CWinApp() override;

    virtual BOOL InitApplication() { return TRUE; }
    virtual BOOL InitInstance() { return TRUE; }
    // The message loop; returns ExitInstance's result when WM_QUIT arrives.
    virtual int Run();
    // Writes the profile back; returns the exit code (the quit message's wParam).
    virtual int ExitInstance();
    virtual BOOL PreTranslateMessage(MSG* pMsg);
    // Pre-translates and dispatches one message, reporting what a handler throws.
    void ProcessMessage(MSG& msg);
    BOOL OnCmdMsg(UINT nID) override;

    // Profile in HKCU\Software\<lpszRegistryKey>\<application title>.
    void SetRegistryKey(LPCSTR lpszRegistryKey);
    void LoadStdProfileSettings(UINT nMaxMRU = 4);
    UINT GetProfileInt(LPCSTR lpszSection, LPCSTR lpszEntry, int nDefault);
    BOOL WriteProfileInt(LPCSTR lpszSection, LPCSTR lpszEntry, int nValue);
    // Removes the profile key, and the registry key above it when nothing else is left there.
    BOOL Unregister();

    void AddDocTemplate(CSingleDocTemplate* pTemplate);
    void ParseCommandLine(CCommandLineInfo& rCmdInfo);
    BOOL ProcessShellCommand(CCommandLineInfo& rCmdInfo);
    // Normalises the path (quotes, length, full path, shortcut) and opens it with the template.
    virtual CDocument* OpenDocumentFile(LPCSTR lpszFileName);

    void OnFileNew();
    void OnFileOpen();
    void OnAppExit();

    void Enable3dControlsStatic() {} // the system draws 3-D controls itself

    HINSTANCE m_hInstance = nullptr;
    CWnd* m_pMainWnd = nullptr;
    LPSTR m_lpCmdLine = nullptr;
    // The same arguments as the system holds them (UTF-16): the narrow ones may have lost
    // characters the code page cannot spell.
    LPCWSTR m_lpCmdLineW = nullptr;
    int m_nCmdShow = SW_SHOWNORMAL;
    CString m_pszAppName;     // application title
    CString m_pszRegistryKey; // empty: no profile
    CString m_pszProfileName; // the profile's own key, a copy of the title
    UINT m_nNumPreviewPages = 0;

private:
    HKEY OpenAppRegistryKey();
    HKEY OpenSectionKey(LPCSTR lpszSection);

    std::unique_ptr<CSingleDocTemplate> m_pDocTemplate;
    BOOL m_bUnregistered = FALSE;
    int m_nExitCode = 0;
};

CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();
void AfxEnableControlContainer();

// Hands the application object its instance, command line and show command, and its title.
BOOL AfxWinInit(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow,
                LPCWSTR lpCmdLineW);
// The program's entry: initialises the application object, runs InitInstance and the loop.
int AfxWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow);
// The arguments part of a whole command line (the program's name and the blanks after it
// skipped), as the system splits it for WinMain.
LPCWSTR AfxSkipProgramName(LPCWSTR commandLine);

// Path normalisation of a document path given on the command line: one leading quote
// dropped, cut to 259 bytes, cut at the last remaining quote, made full, shortcut resolved.
CString NormaliseDocumentPath(LPCSTR lpszFileName);
