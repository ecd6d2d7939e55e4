// Screenshot helper for docs/about-box.png. Two ways to run it:
//   about_box_host.exe [--hover]          shows the about box on its own (--hover: the link picture
//                                         as it is while the pointer moves over it);
//   about_box_host.exe --in-program FILE  asks the running Tallowbox for its about box (the Help
//                                         menu's command), waits until the box has painted and
//                                         writes its screen rectangle "x y width height" to FILE.
#include "about/AboutDlg.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

const char kAboutCaption[] = "Tallowboxのﾊﾞｰｼﾞｮﾝ情報";
const char kMainTitle[] = "Tallowbox";

class HostedAboutDlg : public CAboutDlg {
public:
    explicit HostedAboutDlg(bool bPointerOverLink) : m_bPointerOverLink(bPointerOverLink) {}

protected:
    BOOL OnInitDialog() override {
        const BOOL result = CAboutDlg::OnInitDialog();
        ::SetWindowPos(m_hWnd, nullptr, 8, 8, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        if (m_bPointerOverLink)
            m_wndLink.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(4, 4));
        return result;
    }

private:
    bool m_bPointerOverLink;
};

// Polls for a window for up to timeoutMs; nullptr when none showed up.
template <typename Find>
HWND WaitForWindow(Find find, DWORD timeoutMs) {
    for (DWORD waited = 0; waited < timeoutMs; waited += 100) {
        if (HWND hWnd = find())
            return hWnd;
        ::Sleep(100);
    }
    return nullptr;
}

int OpenInRunningProgram(const std::string& rectFile) {
    HWND hMain = WaitForWindow(
        [] {
            HWND hWnd = ::FindWindowA(nullptr, kMainTitle);
            return hWnd != nullptr && ::GetMenu(hWnd) != nullptr && ::IsWindowVisible(hWnd) ? hWnd : nullptr;
        },
        30000);
    if (hMain == nullptr) {
        std::fprintf(stderr, "about_box_host: no Tallowbox main window\n");
        return 2;
    }
    ::PostMessageA(hMain, WM_COMMAND, MAKEWPARAM(ID_APP_ABOUT, 0), 0);
    HWND hAbout = WaitForWindow(
        [] {
            HWND hWnd = ::FindWindowA(nullptr, kAboutCaption);
            return hWnd != nullptr && ::IsWindowVisible(hWnd) ? hWnd : nullptr;
        },
        10000);
    if (hAbout == nullptr) {
        std::fprintf(stderr, "about_box_host: the about box did not open\n");
        return 3;
    }
    ::Sleep(1500); // painted and settled
    RECT rect;
    ::GetWindowRect(hAbout, &rect);
    FILE* out = std::fopen(rectFile.c_str(), "w");
    if (out == nullptr)
        return 4;
    std::fprintf(out, "%ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
    std::fclose(out);
    return 0;
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR lpCmdLine, int) {
    const std::string arguments = lpCmdLine != nullptr ? lpCmdLine : "";
    const std::string inProgram = "--in-program ";
    if (arguments.compare(0, inProgram.size(), inProgram) == 0)
        return OpenInRunningProgram(arguments.substr(inProgram.size()));
    try {
        HostedAboutDlg dlg(arguments.find("--hover") != std::string::npos);
        return static_cast<int>(dlg.DoModal());
    } catch (const std::exception& error) {
        AfxReportException(error);
        return -1;
    }
}
