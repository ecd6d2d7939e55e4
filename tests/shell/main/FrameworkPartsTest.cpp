// The framework pieces start-up relies on: command-line switches, the document path's
// normalisation, menu prompt ids, the registry profile, and failures reported by message box.
#include "RunningApp.h"
#include "WindowProbe.h"

#include "common/TempFolder.h"
#include "framework/App.h"
#include "framework/CommandLine.h"
#include "framework/DocTemplate.h"
#include "framework/Frame.h"
#include "framework/FrameworkIds.h"
#include "res/resource.h"
#include "shell/document/TallowboxDoc.h"
#include "shell/main/MainFrm.h"
#include "shell/main/TallowboxView.h"

#include <gtest/gtest.h>
#include <objbase.h>
#include <shlobj.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

CCommandLineInfo Parse(std::vector<const char*> args) {
    args.insert(args.begin(), "Tallowbox.exe");
    CCommandLineInfo info;
    ParseArguments(info, static_cast<int>(args.size()), args.data());
    return info;
}

TEST(CommandLine, SwitchesAndTheFirstPlainArgument) {
    struct Case {
        std::vector<const char*> args;
        CCommandLineInfo::ShellCommand command;
        const char* fileName;
        BOOL embedded;
    };
    const Case cases[] = {
        {{}, CCommandLineInfo::FileNew, "", FALSE},
        {{"C:\\a.txt"}, CCommandLineInfo::FileOpen, "C:\\a.txt", FALSE},
        {{"C:\\a.txt", "C:\\b.txt"}, CCommandLineInfo::FileOpen, "C:\\a.txt", FALSE},
        {{"/p", "C:\\a.txt"}, CCommandLineInfo::FilePrint, "C:\\a.txt", FALSE},
        {{"-p", "C:\\a.txt"}, CCommandLineInfo::FilePrint, "C:\\a.txt", FALSE},
        {{"/P", "C:\\a.txt"}, CCommandLineInfo::FileOpen, "C:\\a.txt", FALSE}, // "p" is compared exactly
        {{"/pt", "C:\\a.txt", "printer", "driver", "port"},
         CCommandLineInfo::FilePrintTo,
         "C:\\a.txt",
         FALSE},
        {{"/Unregister"}, CCommandLineInfo::AppUnregister, "", FALSE},
        {{"-unregserver"}, CCommandLineInfo::AppUnregister, "", FALSE},
        {{"/UNREGISTER", "/embedding"}, CCommandLineInfo::AppUnregister, "", TRUE},
        {{"/dde"}, CCommandLineInfo::FileDDE, "", FALSE},
        {{"/DDE"}, CCommandLineInfo::FileNew, "", FALSE},
        {{"/Embedding"}, CCommandLineInfo::FileNew, "", TRUE},
        {{"/Automation", "C:\\a.txt"}, CCommandLineInfo::FileOpen, "C:\\a.txt", FALSE},
        {{"/whatever", "C:\\a.txt"}, CCommandLineInfo::FileOpen, "C:\\a.txt", FALSE},
    };
    int index = 0;
    for (const Case& c : cases) {
        const CCommandLineInfo info = Parse(c.args);
        EXPECT_EQ(info.m_nShellCommand, c.command) << "case " << index;
        EXPECT_EQ(info.m_strFileName.str(), c.fileName) << "case " << index;
        EXPECT_EQ(info.m_bRunEmbedded, c.embedded) << "case " << index;
        ++index;
    }
    const CCommandLineInfo printTo = Parse({"/pt", "C:\\a.txt", "printer", "driver", "port"});
    EXPECT_EQ(printTo.m_strPrinterName.str(), "printer");
    EXPECT_EQ(printTo.m_strDriverName.str(), "driver");
    EXPECT_EQ(printTo.m_strPortName.str(), "port");
}

TEST(DocumentPath, QuotesLengthFullPathAndShortcuts) {
    TempFolder temp;
    ASSERT_TRUE(::SetCurrentDirectoryA(temp.path().c_str()));
    EXPECT_EQ(NormaliseDocumentPath("\"C:\\data\\a.txt\"").str(), "C:\\data\\a.txt");
    EXPECT_EQ(NormaliseDocumentPath("C:\\data\\a.txt\" tail").str(), "C:\\data\\a.txt");
    EXPECT_EQ(NormaliseDocumentPath("rel\\b.txt").str(), temp / "rel\\b.txt");

    const std::string longName = "C:\\" + std::string(400, 'q');
    EXPECT_EQ(NormaliseDocumentPath(longName.c_str()).GetLength(), 259);
    // A cut never leaves half of a double-byte character: "C:\\a" and 127 whole characters.
    std::string wide = "C:\\a";
    for (int i = 0; i < 200; ++i)
        wide += "表";
    EXPECT_EQ(NormaliseDocumentPath(wide.c_str()).GetLength(), 258);

    // A shortcut is replaced by its target.
    ASSERT_TRUE(WriteFileText(temp / "target.txt", "t"));
    ASSERT_TRUE(SUCCEEDED(::CoInitialize(nullptr)));
    IShellLinkA* link = nullptr;
    ASSERT_TRUE(SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                             reinterpret_cast<void**>(&link))));
    link->SetPath((temp / "target.txt").c_str());
    IPersistFile* file = nullptr;
    ASSERT_TRUE(SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))));
    WCHAR shortcut[MAX_PATH];
    ::MultiByteToWideChar(CP_ACP, 0, (temp / "note.lnk").c_str(), -1, shortcut, MAX_PATH);
    EXPECT_TRUE(SUCCEEDED(file->Save(shortcut, TRUE)));
    file->Release();
    link->Release();
    ::CoUninitialize();
    EXPECT_EQ(NormaliseDocumentPath("\"note.lnk\"").str(), temp / "target.txt");
    // One that cannot be read stays as it is, made full.
    ASSERT_TRUE(WriteFileText(temp / "broken.lnk", "not a shortcut"));
    EXPECT_EQ(NormaliseDocumentPath("broken.lnk").str(), temp / "broken.lnk");
    ::SetCurrentDirectoryA("C:\\");
}

TEST(MenuPrompts, StringIdsForItemsPopupsAndSystemCommands) {
    EXPECT_EQ(MenuPromptId(ID_APP_ABOUT, MF_STRING), static_cast<UINT>(ID_APP_ABOUT));
    EXPECT_EQ(MenuPromptId(1, MF_POPUP), 0u);
    EXPECT_EQ(MenuPromptId(0, MF_SEPARATOR), 0u);
    EXPECT_EQ(MenuPromptId(SC_SIZE, MF_SYSMENU), 61184u);
    EXPECT_EQ(MenuPromptId(SC_MOVE, MF_SYSMENU), 61185u);
    EXPECT_EQ(MenuPromptId(SC_MINIMIZE, MF_SYSMENU), 61186u);
    EXPECT_EQ(MenuPromptId(SC_MAXIMIZE, MF_SYSMENU), 61187u);
    EXPECT_EQ(MenuPromptId(SC_CLOSE, MF_SYSMENU), 61190u);
    EXPECT_EQ(MenuPromptId(SC_RESTORE, MF_SYSMENU), 61202u);
    EXPECT_EQ(LoadMenuPrompt(ID_APP_EXIT).str(), "ｱﾌﾟﾘｹｰｼｮﾝを終了し、ﾌｧｲﾙの保存を指示");
    EXPECT_EQ(LoadMenuPrompt(ID_OPEN_FOLDER).str(), "");
}

const char kCompanyKey[] = "Software\\Local AppWizard-Generated Applications";
const char kProfileKey[] = "Software\\Local AppWizard-Generated Applications\\Tallowbox\\Settings";

bool KeyExists(const char* path) {
    HKEY hKey = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(hKey);
    return true;
}

bool ReadPreviewPages(DWORD* value) {
    DWORD size = sizeof *value;
    return ::RegGetValueA(HKEY_CURRENT_USER, kProfileKey, "PreviewPages", RRF_RT_REG_DWORD, nullptr, value,
                          &size) == ERROR_SUCCESS;
}

TEST(Profile, StartCreatesTheKeysAndWritesBackOnlyANonZeroValue) {
    ::RegDeleteTreeA(HKEY_CURRENT_USER, kCompanyKey);
    TempFolder program;
    {
        RunningApp running("", program.path());
        ASSERT_TRUE(running.started());
        EXPECT_TRUE(KeyExists(kProfileKey));
        EXPECT_EQ(running.app().ExitInstance(), 0);
    }
    DWORD value = 0;
    EXPECT_FALSE(ReadPreviewPages(&value)) << "0 is never written";

    const DWORD three = 3;
    ASSERT_EQ(
        ::RegSetKeyValueA(HKEY_CURRENT_USER, kProfileKey, "PreviewPages", REG_DWORD, &three, sizeof three),
        ERROR_SUCCESS);
    {
        RunningApp running("", program.path());
        ASSERT_TRUE(running.started());
        EXPECT_EQ(running.app().m_nNumPreviewPages, 3u);
        ASSERT_EQ(::RegDeleteKeyValueA(HKEY_CURRENT_USER, kProfileKey, "PreviewPages"), ERROR_SUCCESS);
        running.app().ExitInstance();
    }
    EXPECT_TRUE(ReadPreviewPages(&value));
    EXPECT_EQ(value, 3u) << "written back at exit";
}

TEST(Profile, UnregisterRemovesTheProfileAndAnEmptyParentOnly) {
    CWinApp app("Tallowbox");
    app.SetRegistryKey("Local AppWizard-Generated Applications");
    app.LoadStdProfileSettings(0);
    ASSERT_TRUE(KeyExists(kProfileKey));
    const std::string neighbour = std::string(kCompanyKey) + "\\Neighbour";
    HKEY hKey = nullptr;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, neighbour.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                                &hKey, nullptr),
              ERROR_SUCCESS);
    ::RegCloseKey(hKey);

    EXPECT_TRUE(app.Unregister());
    EXPECT_FALSE(KeyExists("Software\\Local AppWizard-Generated Applications\\Tallowbox"));
    EXPECT_TRUE(KeyExists(neighbour.c_str())) << "another application's key stays";
    EXPECT_TRUE(KeyExists(kCompanyKey));

    ::RegDeleteKeyA(HKEY_CURRENT_USER, neighbour.c_str());
    app.LoadStdProfileSettings(0);
    EXPECT_TRUE(app.Unregister());
    EXPECT_FALSE(KeyExists(kCompanyKey)) << "an emptied parent goes too";
    app.m_nNumPreviewPages = 5;
    app.ExitInstance();
    EXPECT_FALSE(KeyExists(kCompanyKey)) << "nothing written back after unregistering";
}

// A frame whose command handler throws.
class ThrowingFrame : public CFrameWnd {
public:
    BOOL OnCmdMsg(UINT nID) override {
        if (nID == 0x7001)
            throw std::runtime_error("handler failed");
        return FALSE;
    }
};

TEST(Failures, AThrowingCommandHandlerIsReportedAndTheWindowLives) {
    auto* frame = new ThrowingFrame;
    ASSERT_TRUE(frame->LoadFrame(IDR_MAINFRAME, WS_OVERLAPPEDWINDOW, nullptr, nullptr, "probe"));
    HWND hWnd = frame->m_hWnd;
    MessageBoxAnswerer answerer(::GetCurrentProcessId(), 5000);
    ::SendMessageA(hWnd, WM_COMMAND, MAKEWPARAM(0x7001, 0), 0);
    ASSERT_TRUE(answerer.Wait());
    EXPECT_EQ(answerer.caption, "Tallowbox");
    EXPECT_EQ(answerer.text, "ｺﾏﾝﾄﾞを実行できませんでした。");
    EXPECT_TRUE(answerer.exclamationIcon);
    EXPECT_TRUE(::IsWindow(hWnd));
    ::DestroyWindow(hWnd); // the frame object goes with its window
}

TEST(Failures, AFrameThatCannotBeMadeShowsTheStartUpFailure) {
    CWinApp app("Tallowbox");
    // No menu 999 exists: the frame cannot be made.
    CSingleDocTemplate brokenTemplate(999, &CTallowboxDoc::runtimeClass, &CMainFrame::runtimeClass,
                                      &CTallowboxView::runtimeClass);
    MessageBoxAnswerer answerer(::GetCurrentProcessId(), 5000);
    EXPECT_EQ(brokenTemplate.OpenDocumentFile(nullptr), nullptr);
    ASSERT_TRUE(answerer.Wait());
    EXPECT_EQ(answerer.text, "空のﾄﾞｷｭﾒﾝﾄの作成に失敗しました。");
    EXPECT_EQ(brokenTemplate.GetOnlyDocument(), nullptr) << "the document was deleted";
    EXPECT_EQ(app.m_pMainWnd, nullptr);
}

TEST(Failures, TheDocumentAcceptsAnyPathWithoutReadingIt) {
    CTallowboxDoc document;
    EXPECT_TRUE(document.OnOpenDocument("Z:\\no\\such\\file.txt"));
    EXPECT_TRUE(document.OnOpenDocument("C:\\"));
    EXPECT_TRUE(document.OnNewDocument());
    EXPECT_TRUE(document.GetPathName().IsEmpty());
    EXPECT_FALSE(document.IsModified());
}

} // namespace
