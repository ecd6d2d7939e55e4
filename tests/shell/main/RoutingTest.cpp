// Command routing through the framework's single-document template: the active view first,
// then its document, the frame, and the application last.
#include "WindowProbe.h"

#include "framework/App.h"
#include "framework/DocTemplate.h"
#include "framework/Document.h"
#include "framework/Frame.h"
#include "framework/View.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> g_handled;

// Each level takes the commands whose bit for it is set in the id: 1 view, 2 document,
// 4 frame, 8 application (ids 0x7000 + mask).
BOOL Take(const char* who, UINT nID, UINT bit) {
    if (nID < 0x7000 || nID > 0x700F || !((nID - 0x7000) & bit))
        return FALSE;
    g_handled.push_back(who);
    return TRUE;
}

class ProbeDoc : public CDocument {
public:
    static const CRuntimeClass runtimeClass;
    BOOL OnCmdMsg(UINT nID) override { return Take("document", nID, 2); }
};
const CRuntimeClass ProbeDoc::runtimeClass = {"ProbeDoc", &CDocument::runtimeClass, &CreateDynamic<ProbeDoc>};

class ProbeFrame : public CFrameWnd {
public:
    static const CRuntimeClass runtimeClass;
    BOOL OnCmdMsg(UINT nID) override { return Take("frame", nID, 4); }
};
const CRuntimeClass ProbeFrame::runtimeClass = {"ProbeFrame", &CFrameWnd::runtimeClass,
                                                &CreateDynamic<ProbeFrame>};

class ProbeView : public CFormView {
public:
    static const CRuntimeClass runtimeClass;
    ProbeView() : CFormView(IDD_BACKUP_FORM) {}
    BOOL OnCmdMsg(UINT nID) override { return Take("view", nID, 1); }
};
const CRuntimeClass ProbeView::runtimeClass = {"ProbeView", &CFormView::runtimeClass,
                                               &CreateDynamic<ProbeView>};

class ProbeApp : public CWinApp {
public:
    ProbeApp() : CWinApp("Tallowbox") {}
    BOOL OnCmdMsg(UINT nID) override { return Take("application", nID, 8) || CWinApp::OnCmdMsg(nID); }
};

TEST(CommandRouting, ActiveViewThenDocumentThenFrameThenApplication) {
    ProbeApp app;
    app.m_nCmdShow = SW_SHOWNORMAL;
    app.AddDocTemplate(new CSingleDocTemplate(IDR_MAINFRAME, &ProbeDoc::runtimeClass,
                                              &ProbeFrame::runtimeClass, &ProbeView::runtimeClass));
    app.OnFileNew();
    ASSERT_NE(app.m_pMainWnd, nullptr);
    HWND frame = app.m_pMainWnd->m_hWnd;
    EXPECT_TRUE(::IsWindowVisible(frame));

    struct Case {
        UINT mask;
        const char* expected;
    };
    const Case cases[] = {
        {1 | 2 | 4 | 8, "view"}, {2 | 4 | 8, "document"}, {4 | 8, "frame"}, {8, "application"}};
    for (const Case& c : cases) {
        g_handled.clear();
        ::SendMessageA(frame, WM_COMMAND, MAKEWPARAM(0x7000 + c.mask, 0), 0);
        ASSERT_EQ(g_handled.size(), 1u) << "mask " << c.mask;
        EXPECT_EQ(g_handled[0], c.expected) << "mask " << c.mask;
    }
    g_handled.clear();
    ::SendMessageA(frame, WM_COMMAND, MAKEWPARAM(0x7000, 0), 0);
    EXPECT_TRUE(g_handled.empty()) << "nobody takes it";

    // The exit command is the application's: the frame closes and the loop is told to end.
    ::SendMessageA(frame, WM_COMMAND, MAKEWPARAM(ID_APP_EXIT, 0), 0);
    EXPECT_FALSE(::IsWindow(frame));
    EXPECT_EQ(app.m_pMainWnd, nullptr);
    MSG msg;
    bool quit = false;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        quit = quit || msg.message == WM_QUIT;
    EXPECT_TRUE(quit);
}

} // namespace
