// Helpers the shell tests share: finding a process's windows, answering its message boxes from
// a second thread, and reading a list view or status bar of another process through memory
// placed in that process (the controls' text messages carry pointers).
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

// Top-level windows of process pid whose class is className (all classes when empty).
std::vector<HWND> TopLevelWindowsOf(DWORD pid, const std::string& className = "");
std::string WindowText(HWND hWnd);
std::string ClassNameOf(HWND hWnd);
// The control's window rectangle in parent's client coordinates.
RECT RectInClient(HWND control, HWND parent);

// The texts a window draws into a metafile, in order, each with the bounds the metafile records.
struct DrawnText {
    std::wstring text;
    RECTL bounds;
};
std::vector<DrawnText> TextsDrawnBy(HWND window);

// Watches for a message box or dialog (class "#32770") of process pid, records its caption,
// text and owner, and presses OK. Runs on its own thread until the first box or the timeout.
class MessageBoxAnswerer {
public:
    MessageBoxAnswerer(DWORD pid, DWORD timeoutMs);
    ~MessageBoxAnswerer();
    MessageBoxAnswerer(const MessageBoxAnswerer&) = delete;
    MessageBoxAnswerer& operator=(const MessageBoxAnswerer&) = delete;

    // Waits for the watcher to end; true when a box was seen and answered.
    bool Wait();
    std::string caption;
    std::string text;
    bool exclamationIcon = false; // the box shows the system's exclamation icon
    HWND owner = nullptr;

private:
    void Watch(DWORD pid, DWORD timeoutMs);
    std::thread m_thread;
    bool m_seen = false;
};

// List-view and status-bar texts of a window that may live in another process.
class RemoteControlReader {
public:
    explicit RemoteControlReader(HWND hWnd);
    ~RemoteControlReader();
    RemoteControlReader(const RemoteControlReader&) = delete;
    RemoteControlReader& operator=(const RemoteControlReader&) = delete;

    int ItemCount() const;
    std::string ItemText(int item, int subItem) const;
    std::string StatusText(int part) const;

private:
    HWND m_hWnd;
    HANDLE m_hProcess = nullptr;
    char* m_remote = nullptr; // page in the other process: an LVITEMA, then the text
};
