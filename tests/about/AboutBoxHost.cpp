// Shows the about box on its own, for the screenshot in the documentation. With "--hover" the
// link picture is shown as it is while the pointer moves over it.
#include "about/AboutDlg.h"

#include <cstring>

namespace {

class HostedAboutDlg : public CAboutDlg {
public:
    explicit HostedAboutDlg(bool bPointerOverLink) : m_bPointerOverLink(bPointerOverLink) {}

protected:
    BOOL OnInitDialog() override {
        const BOOL result = CAboutDlg::OnInitDialog();
        // Top left of the screen, where the screenshot is cut.
        ::SetWindowPos(m_hWnd, nullptr, 8, 8, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        if (m_bPointerOverLink)
            m_wndLink.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(4, 4));
        return result;
    }

private:
    bool m_bPointerOverLink;
};

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR lpCmdLine, int) {
    try {
        HostedAboutDlg dlg(lpCmdLine != nullptr && std::strstr(lpCmdLine, "--hover") != nullptr);
        return static_cast<int>(dlg.DoModal());
    } catch (const std::exception& error) {
        AfxReportException(error);
        return -1;
    }
}
