#include "App.h"

#include "DocTemplate.h"
#include "Document.h"
#include "Frame.h"
#include "FrameworkIds.h"
#include "Language.h"
#include "MessageBox.h"

#include <commdlg.h>
#include <objbase.h>
#include <shlobj.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

CWinApp* g_pApp = nullptr;

// An open registry key, closed when it goes.
class RegKey {
public:
    explicit RegKey(HKEY hKey = nullptr) : m_hKey(hKey) {}
    ~RegKey() {
        if (m_hKey != nullptr)
            ::RegCloseKey(m_hKey);
    }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    HKEY get() const { return m_hKey; }

private:
    HKEY m_hKey;
};

HKEY CreateSubKey(HKEY hParent, LPCSTR lpszName) {
    HKEY hKey = nullptr;
    DWORD disposition = 0;
    if (hParent == nullptr ||
        ::RegCreateKeyExA(hParent, lpszName, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE,
                          nullptr, &hKey, &disposition) != ERROR_SUCCESS)
        return nullptr;
    return hKey;
}

HKEY OpenExistingKey(HKEY hParent, LPCSTR lpszName) {
    HKEY hKey = nullptr;
    if (::RegOpenKeyExA(hParent, lpszName, 0, KEY_READ | KEY_WRITE, &hKey) != ERROR_SUCCESS)
        return nullptr;
    return hKey;
}

bool KeyIsEmpty(HKEY hKey) {
    DWORD subKeys = 0;
    DWORD values = 0;
    return ::RegQueryInfoKeyA(hKey, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr,
                              nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
           subKeys == 0 && values == 0;
}

// A shell shortcut's target; empty when it is not one or cannot be resolved.
std::string ResolveShortcut(const std::string& path) {
    const bool comReady = SUCCEEDED(::CoInitialize(nullptr));
    std::string target;
    IShellLinkA* link = nullptr;
    if (SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                     reinterpret_cast<void**>(&link)))) {
        IPersistFile* file = nullptr;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
            WCHAR widePath[MAX_PATH];
            if (::MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, widePath, MAX_PATH) > 0 &&
                SUCCEEDED(file->Load(widePath, STGM_READ)) &&
                SUCCEEDED(link->Resolve(nullptr, SLR_ANY_MATCH))) {
                char buffer[MAX_PATH] = "";
                if (SUCCEEDED(link->GetPath(buffer, MAX_PATH, nullptr, 0)) && buffer[0] != '\0')
                    target = buffer;
            }
            file->Release();
        }
        link->Release();
    }
    if (comReady)
        ::CoUninitialize();
    return target;
}

bool HasShortcutExtension(const std::string& path) {
    return path.size() >= 4 && ::lstrcmpiA(path.c_str() + path.size() - 4, ".lnk") == 0;
}

// Cuts text to at most nMax bytes without leaving half of a double-byte character.
void CutToBytes(std::string& text, size_t nMax) {
    if (text.size() <= nMax)
        return;
    size_t keep = 0;
    while (keep < nMax) {
        const size_t step = ::IsDBCSLeadByte(static_cast<BYTE>(text[keep])) ? 2 : 1;
        if (keep + step > nMax)
            break;
        keep += step;
    }
    text.resize(keep);
}

} // namespace

CWinApp* AfxGetApp() {
    return g_pApp;
}

CWnd* AfxGetMainWnd() {
    return g_pApp != nullptr ? g_pApp->m_pMainWnd : nullptr;
}

void AfxEnableControlContainer() {} // no OLE controls are hosted

CWinApp::CWinApp(LPCSTR lpszAppName) {
    if (lpszAppName != nullptr)
        m_pszAppName = lpszAppName;
    g_pApp = this;
}

CWinApp::~CWinApp() {
    m_pDocTemplate.reset();
    if (g_pApp == this)
        g_pApp = nullptr;
}

void CWinApp::ProcessMessage(MSG& msg) {
    try {
        if (!PreTranslateMessage(&msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
    } catch (const std::exception& error) {
        AfxReportException(error);
    }
}

int CWinApp::Run() {
    MSG msg;
    for (;;) {
        const BOOL result = ::GetMessageA(&msg, nullptr, 0, 0);
        if (result == 0) {
            m_nExitCode = static_cast<int>(msg.wParam);
            break;
        }
        if (result == -1) {
            m_nExitCode = -1;
            break;
        }
        ProcessMessage(msg);
    }
    return ExitInstance();
}

int CWinApp::ExitInstance() {
    // The unregister switch has just removed the profile: writing would make it again.
    if (!m_bUnregistered && m_nNumPreviewPages != 0)
        WriteProfileInt("Settings", "PreviewPages", static_cast<int>(m_nNumPreviewPages));
    return m_nExitCode;
}

BOOL CWinApp::PreTranslateMessage(MSG* pMsg) {
    HWND hWndStop = m_pMainWnd != nullptr ? m_pMainWnd->m_hWnd : nullptr;
    return CWnd::WalkPreTranslateTree(hWndStop, pMsg);
}

BOOL CWinApp::OnCmdMsg(UINT nID) {
    switch (nID) {
    case ID_FILE_NEW:
        OnFileNew();
        return TRUE;
    case ID_FILE_OPEN:
        OnFileOpen();
        return TRUE;
    case ID_APP_EXIT:
        OnAppExit();
        return TRUE;
    default:
        return FALSE;
    }
}

void CWinApp::SetRegistryKey(LPCSTR lpszRegistryKey) {
    m_pszRegistryKey = lpszRegistryKey;
    m_pszProfileName = m_pszAppName;
}

HKEY CWinApp::OpenAppRegistryKey() {
    if (m_pszRegistryKey.IsEmpty() || m_pszProfileName.IsEmpty())
        return nullptr;
    RegKey software(CreateSubKey(HKEY_CURRENT_USER, "Software"));
    RegKey company(CreateSubKey(software.get(), m_pszRegistryKey.GetString()));
    return CreateSubKey(company.get(), m_pszProfileName.GetString());
}

HKEY CWinApp::OpenSectionKey(LPCSTR lpszSection) {
    RegKey app(OpenAppRegistryKey());
    return CreateSubKey(app.get(), lpszSection);
}

UINT CWinApp::GetProfileInt(LPCSTR lpszSection, LPCSTR lpszEntry, int nDefault) {
    RegKey section(OpenSectionKey(lpszSection));
    if (section.get() == nullptr)
        return static_cast<UINT>(nDefault);
    DWORD value = 0;
    DWORD type = 0;
    DWORD size = sizeof value;
    if (::RegQueryValueExA(section.get(), lpszEntry, nullptr, &type, reinterpret_cast<BYTE*>(&value),
                           &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof value)
        return static_cast<UINT>(nDefault);
    return value;
}

BOOL CWinApp::WriteProfileInt(LPCSTR lpszSection, LPCSTR lpszEntry, int nValue) {
    RegKey section(OpenSectionKey(lpszSection));
    if (section.get() == nullptr)
        return FALSE;
    const DWORD value = static_cast<DWORD>(nValue);
    return ::RegSetValueExA(section.get(), lpszEntry, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                            sizeof value) == ERROR_SUCCESS;
}

void CWinApp::LoadStdProfileSettings(UINT nMaxMRU) {
    (void)nMaxMRU; // no recent-file list is kept
    m_nNumPreviewPages = GetProfileInt("Settings", "PreviewPages", 0);
}

BOOL CWinApp::Unregister() {
    m_bUnregistered = TRUE;
    if (m_pszRegistryKey.IsEmpty() || m_pszProfileName.IsEmpty())
        return TRUE;
    const std::string companyPath = std::string("Software\\") + m_pszRegistryKey.GetString();
    LONG removed = ERROR_FILE_NOT_FOUND;
    bool companyEmpty = false;
    {
        RegKey company(OpenExistingKey(HKEY_CURRENT_USER, companyPath.c_str()));
        if (company.get() == nullptr)
            return TRUE; // nothing to remove
        removed = ::RegDeleteTreeA(company.get(), m_pszProfileName.GetString());
        companyEmpty = KeyIsEmpty(company.get());
    }
    if (companyEmpty) {
        RegKey software(OpenExistingKey(HKEY_CURRENT_USER, "Software"));
        if (software.get() != nullptr)
            ::RegDeleteKeyA(software.get(), m_pszRegistryKey.GetString());
    }
    return removed == ERROR_SUCCESS || removed == ERROR_FILE_NOT_FOUND;
}

void CWinApp::AddDocTemplate(CSingleDocTemplate* pTemplate) {
    m_pDocTemplate.reset(pTemplate);
}

void CWinApp::ParseCommandLine(CCommandLineInfo& rCmdInfo) {
    // The runtime has already split the command line by its standard rules.
    ParseArguments(rCmdInfo, __argc, __argv);
}

BOOL CWinApp::ProcessShellCommand(CCommandLineInfo& rCmdInfo) {
    switch (rCmdInfo.m_nShellCommand) {
    case CCommandLineInfo::FileNew:
        if (!OnCmdMsg(ID_FILE_NEW))
            OnFileNew();
        return m_pMainWnd != nullptr;
    case CCommandLineInfo::FileOpen:
        return OpenDocumentFile(rCmdInfo.m_strFileName.GetString()) != nullptr;
    case CCommandLineInfo::FilePrint:
    case CCommandLineInfo::FilePrintTo:
        // Nothing in this program prints: the document is made hidden, the print request goes
        // unanswered and start-up ends.
        m_nCmdShow = SW_HIDE;
        if (rCmdInfo.m_strFileName.IsEmpty())
            OnFileNew();
        else
            OpenDocumentFile(rCmdInfo.m_strFileName.GetString());
        if (m_pMainWnd != nullptr)
            m_pMainWnd->SendMessage(WM_COMMAND, ID_FILE_PRINT_DIRECT, 0);
        return FALSE;
    case CCommandLineInfo::FileDDE:
        // No DDE conversation is ever served: end as a start-up that made no window.
        m_nCmdShow = SW_HIDE;
        return FALSE;
    case CCommandLineInfo::AppUnregister:
        Unregister();
        if (!rCmdInfo.m_bRunEmbedded)
            AfxMessageBox(AFX_IDP_UNREG_DONE);
        return FALSE;
    case CCommandLineInfo::FileNothing:
        return TRUE;
    }
    return FALSE;
}

CString NormaliseDocumentPath(LPCSTR lpszFileName) {
    std::string path = lpszFileName != nullptr ? lpszFileName : "";
    if (!path.empty() && path[0] == '"')
        path.erase(0, 1);
    CutToBytes(path, MAX_PATH - 1);
    const size_t lastQuote = path.rfind('"');
    if (lastQuote != std::string::npos)
        path.resize(lastQuote);

    char full[MAX_PATH];
    LPSTR filePart = nullptr;
    const DWORD length = ::GetFullPathNameA(path.c_str(), MAX_PATH, full, &filePart);
    if (length > 0 && length < MAX_PATH)
        path = full;
    if (HasShortcutExtension(path)) {
        std::string target = ResolveShortcut(path);
        if (!target.empty())
            path = target;
    }
    return CString(path);
}

CDocument* CWinApp::OpenDocumentFile(LPCSTR lpszFileName) {
    if (!m_pDocTemplate)
        return nullptr;
    const CString path = NormaliseDocumentPath(lpszFileName);
    return m_pDocTemplate->OpenDocumentFile(path.GetString());
}

void CWinApp::OnFileNew() {
    if (m_pDocTemplate)
        m_pDocTemplate->OpenDocumentFile(nullptr);
}

namespace {

// The common dialog library is loaded only when the file-open command runs: no menu item or
// key issues it, and linking it costs every start of the program the time to load it.
class CCommonDialogLibrary {
public:
    CCommonDialogLibrary() : m_hModule(::LoadLibraryA("comdlg32.dll")) {}
    ~CCommonDialogLibrary() {
        if (m_hModule != nullptr)
            ::FreeLibrary(m_hModule);
    }
    CCommonDialogLibrary(const CCommonDialogLibrary&) = delete;
    CCommonDialogLibrary& operator=(const CCommonDialogLibrary&) = delete;

    // GetOpenFileNameA, or FALSE with ERROR_MOD_NOT_FOUND when the library is missing.
    BOOL GetOpenFileName(OPENFILENAMEA* ofn) const {
        using GetOpenFileNameProc = BOOL(WINAPI*)(OPENFILENAMEA*);
        auto proc = m_hModule != nullptr ? reinterpret_cast<GetOpenFileNameProc>(reinterpret_cast<void*>(
                                               ::GetProcAddress(m_hModule, "GetOpenFileNameA")))
                                         : nullptr;
        if (proc == nullptr) {
            ::SetLastError(ERROR_MOD_NOT_FOUND);
            return FALSE;
        }
        return proc(ofn);
    }

private:
    HMODULE m_hModule;
};

} // namespace

void CWinApp::OnFileOpen() {
    char fileName[MAX_PATH] = "";
    OPENFILENAMEA ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = m_pMainWnd != nullptr ? m_pMainWnd->m_hWnd : nullptr;
    ofn.lpstrFile = fileName;
    ofn.nMaxFile = sizeof fileName;
    ofn.Flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    const CCommonDialogLibrary commonDialogs;
    if (commonDialogs.GetOpenFileName(&ofn))
        OpenDocumentFile(fileName);
}

void CWinApp::OnAppExit() {
    if (m_pMainWnd != nullptr)
        m_pMainWnd->SendMessage(WM_CLOSE);
}

LPCWSTR AfxSkipProgramName(LPCWSTR commandLine) {
    if (commandLine == nullptr)
        return L"";
    const wchar_t* p = commandLine;
    if (*p == L'"') {
        ++p;
        while (*p != L'\0' && *p != L'"')
            ++p;
        if (*p == L'"')
            ++p;
    } else {
        while (*p != L'\0' && *p != L' ' && *p != L'\t')
            ++p;
    }
    while (*p == L' ' || *p == L'\t')
        ++p;
    return p;
}

BOOL AfxWinInit(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow,
                LPCWSTR lpCmdLineW) {
    (void)hPrevInstance;
    // A file operation on a missing medium simply fails, without a system dialog.
    ::SetErrorMode(::SetErrorMode(0) | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    CWinApp* pApp = AfxGetApp();
    if (pApp == nullptr)
        return FALSE;
    pApp->m_hInstance = hInstance;
    pApp->m_lpCmdLine = lpCmdLine;
    pApp->m_lpCmdLineW = lpCmdLineW;
    pApp->m_nCmdShow = nCmdShow;
    if (pApp->m_pszAppName.IsEmpty())
        pApp->m_pszAppName = LoadResourceTextA(AFX_IDS_APP_TITLE);
    return TRUE;
}

int AfxWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow) {
    if (!AfxWinInit(hInstance, hPrevInstance, lpCmdLine, nCmdShow, AfxSkipProgramName(::GetCommandLineW())))
        return -1;
    CWinApp* pApp = AfxGetApp();
    BOOL started = FALSE;
    try {
        started = pApp->InitApplication() && pApp->InitInstance();
    } catch (const std::exception& error) {
        AfxReportException(error);
    }
    if (!started) {
        if (pApp->m_pMainWnd != nullptr)
            pApp->m_pMainWnd->DestroyWindow();
        return pApp->ExitInstance();
    }
    return pApp->Run();
}
