#include "shell/watch/StartupShortcut.h"

#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>

#include <memory>

namespace {

// COM for the shell's objects on this thread, for as long as the object lives.
class CComScope {
public:
    CComScope() : m_initialized(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~CComScope() {
        if (m_initialized)
            ::CoUninitialize();
    }
    CComScope(const CComScope&) = delete;
    CComScope& operator=(const CComScope&) = delete;

private:
    const bool m_initialized;
};

struct ComRelease {
    void operator()(IUnknown* object) const { object->Release(); }
};
template <typename T> using CComOwned = std::unique_ptr<T, ComRelease>;

std::wstring FolderOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

} // namespace

std::wstring RunningProgramPath() {
    for (DWORD size = MAX_PATH; size <= 32768; size *= 2) {
        std::wstring buffer(size, L'\0');
        const DWORD length = ::GetModuleFileNameW(nullptr, &buffer[0], size);
        if (length == 0)
            return std::wstring();
        if (length < size)
            return buffer.substr(0, length);
    }
    return std::wstring();
}

std::wstring StartupShortcutPath() {
    std::wstring path;
    wchar_t* folder = nullptr;
    if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_Startup, 0, nullptr, &folder)) && folder != nullptr)
        path = std::wstring(folder) + L"\\Tallowbox.lnk";
    ::CoTaskMemFree(folder);
    return path;
}

bool HasStartupShortcut() {
    const std::wstring path = StartupShortcutPath();
    return !path.empty() && ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

HRESULT MakeStartupShortcut(const std::wstring& program) {
    const std::wstring path = StartupShortcutPath();
    if (path.empty())
        return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    ::SHCreateDirectoryExW(nullptr, FolderOf(path).c_str(), nullptr); // a fresh profile may lack it
    CComScope com;
    IShellLinkW* rawLink = nullptr;
    HRESULT result =
        ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&rawLink));
    if (FAILED(result))
        return result;
    CComOwned<IShellLinkW> link(rawLink);
    link->SetPath(program.c_str());
    link->SetWorkingDirectory(FolderOf(program).c_str());
    link->SetShowCmd(SW_SHOWMINNOACTIVE); // out of sight: the notification area takes it
    link->SetDescription(L"Tallowbox");
    IPersistFile* rawFile = nullptr;
    result = link->QueryInterface(IID_PPV_ARGS(&rawFile));
    if (FAILED(result))
        return result;
    CComOwned<IPersistFile> file(rawFile);
    return file->Save(path.c_str(), TRUE);
}

DWORD RemoveStartupShortcut() {
    const std::wstring path = StartupShortcutPath();
    if (path.empty() || ::DeleteFileW(path.c_str()))
        return ERROR_SUCCESS;
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ERROR_SUCCESS : error;
}
