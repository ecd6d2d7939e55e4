#include "WindowProbe.h"

#include <commctrl.h>

#include <cstddef>

namespace {

struct EnumRequest {
    DWORD pid;
    std::string className;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND hWnd, LPARAM lParam) {
    auto* request = reinterpret_cast<EnumRequest*>(lParam);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hWnd, &pid);
    if (pid == request->pid && (request->className.empty() || ClassNameOf(hWnd) == request->className))
        request->found.push_back(hWnd);
    return TRUE;
}

// Whether one of the box's icon controls shows hIcon.
bool ShowsIcon(HWND box, HICON hIcon) {
    for (HWND child = ::GetWindow(box, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
        const LONG style = ::GetWindowLongA(child, GWL_STYLE);
        if ((style & SS_TYPEMASK) == SS_ICON &&
            reinterpret_cast<HICON>(::SendMessageA(child, STM_GETICON, 0, 0)) == hIcon)
            return true;
    }
    return false;
}

const size_t kRemoteSize = 8192;
const size_t kTextOffset = 512;

} // namespace

std::vector<HWND> TopLevelWindowsOf(DWORD pid, const std::string& className) {
    EnumRequest request{pid, className, {}};
    ::EnumWindows(&CollectWindow, reinterpret_cast<LPARAM>(&request));
    return request.found;
}

std::string WindowText(HWND hWnd) {
    char buffer[1024] = "";
    ::GetWindowTextA(hWnd, buffer, sizeof buffer);
    return buffer;
}

std::string ClassNameOf(HWND hWnd) {
    char buffer[256] = "";
    ::GetClassNameA(hWnd, buffer, sizeof buffer);
    return buffer;
}

RECT RectInClient(HWND control, HWND parent) {
    RECT rect;
    ::GetWindowRect(control, &rect);
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

std::vector<DrawnText> TextsDrawnBy(HWND window) {
    HDC recorder = ::CreateEnhMetaFileW(nullptr, nullptr, nullptr, nullptr); // measured as the screen
    ::SendMessageW(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(recorder), PRF_CLIENT);
    HENHMETAFILE picture = ::CloseEnhMetaFile(recorder);
    std::vector<DrawnText> texts;
    ::EnumEnhMetaFile(
        nullptr, picture,
        [](HDC, HANDLETABLE*, const ENHMETARECORD* record, int, LPARAM found) -> int {
            if (record->iType == EMR_EXTTEXTOUTW) {
                const auto* out = reinterpret_cast<const EMREXTTEXTOUTW*>(record);
                const auto* chars =
                    reinterpret_cast<const wchar_t*>(reinterpret_cast<const BYTE*>(record) + out->emrtext.offString);
                reinterpret_cast<std::vector<DrawnText>*>(found)->push_back(
                    {std::wstring(chars, out->emrtext.nChars), out->rclBounds});
            }
            return 1;
        },
        &texts, nullptr);
    ::DeleteEnhMetaFile(picture);
    return texts;
}

MessageBoxAnswerer::MessageBoxAnswerer(DWORD pid, DWORD timeoutMs)
    : m_thread([this, pid, timeoutMs] { Watch(pid, timeoutMs); }) {}

MessageBoxAnswerer::~MessageBoxAnswerer() {
    if (m_thread.joinable())
        m_thread.join();
}

bool MessageBoxAnswerer::Wait() {
    if (m_thread.joinable())
        m_thread.join();
    return m_seen;
}

void MessageBoxAnswerer::Watch(DWORD pid, DWORD timeoutMs) {
    const ULONGLONG end = ::GetTickCount64() + timeoutMs;
    while (::GetTickCount64() < end) {
        for (HWND box : TopLevelWindowsOf(pid, "#32770")) {
            if (!::IsWindowVisible(box))
                continue;
            caption = WindowText(box);
            text = WindowText(::GetDlgItem(box, 0xFFFF)); // a message box's text control
            exclamationIcon = ShowsIcon(box, ::LoadIcon(nullptr, IDI_EXCLAMATION));
            owner = ::GetWindow(box, GW_OWNER);
            m_seen = true;
            ::PostMessageA(box, WM_COMMAND, IDOK, 0);
            return;
        }
        ::Sleep(50);
    }
}

RemoteControlReader::RemoteControlReader(HWND hWnd) : m_hWnd(hWnd) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hWnd, &pid);
    m_hProcess = ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (m_hProcess != nullptr)
        m_remote = static_cast<char*>(
            ::VirtualAllocEx(m_hProcess, nullptr, kRemoteSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
}

RemoteControlReader::~RemoteControlReader() {
    if (m_remote != nullptr)
        ::VirtualFreeEx(m_hProcess, m_remote, 0, MEM_RELEASE);
    if (m_hProcess != nullptr)
        ::CloseHandle(m_hProcess);
}

int RemoteControlReader::ItemCount() const {
    return static_cast<int>(::SendMessageA(m_hWnd, LVM_GETITEMCOUNT, 0, 0));
}

std::string RemoteControlReader::ItemText(int item, int subItem) const {
    if (m_remote == nullptr)
        return "<no remote memory>";
    LVITEMA request = {};
    request.iSubItem = subItem;
    request.pszText = m_remote + kTextOffset;
    request.cchTextMax = static_cast<int>(kRemoteSize - kTextOffset);
    const char empty = '\0';
    SIZE_T written = 0;
    ::WriteProcessMemory(m_hProcess, m_remote, &request, sizeof request, &written);
    ::WriteProcessMemory(m_hProcess, m_remote + kTextOffset, &empty, 1, &written);
    ::SendMessageA(m_hWnd, LVM_GETITEMTEXTA, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(m_remote));
    std::vector<char> text(kRemoteSize - kTextOffset, '\0');
    SIZE_T read = 0;
    ::ReadProcessMemory(m_hProcess, m_remote + kTextOffset, text.data(), text.size() - 1, &read);
    return text.data();
}

std::string RemoteControlReader::StatusText(int part) const {
    if (m_remote == nullptr)
        return "<no remote memory>";
    const char empty = '\0';
    SIZE_T written = 0;
    ::WriteProcessMemory(m_hProcess, m_remote + kTextOffset, &empty, 1, &written);
    ::SendMessageA(m_hWnd, SB_GETTEXTA, static_cast<WPARAM>(part),
                   reinterpret_cast<LPARAM>(m_remote + kTextOffset));
    std::vector<char> text(kRemoteSize - kTextOffset, '\0');
    SIZE_T read = 0;
    ::ReadProcessMemory(m_hProcess, m_remote + kTextOffset, text.data(), text.size() - 1, &read);
    return text.data();
}
