// The real application classes started in this process the way the entry point starts them
// (AfxWinInit, then InitInstance through the document template), with the backups kept below a
// temporary folder. The test drives the message loop itself with Pump.
#pragma once

#include "shell/main/TallowboxApp.h"
#include "shell/main/TallowboxView.h"

#include <string>
#include <vector>

class RowSeams;

class RunningApp {
public:
    // The narrow command line is code page 932 text; the program reads the same arguments as
    // UTF-16, as the system holds them.
    RunningApp(const std::string& commandLine, const std::string& programFolder);
    RunningApp(const std::wstring& commandLine, const std::wstring& programFolder);
    ~RunningApp();
    RunningApp(const RunningApp&) = delete;
    RunningApp& operator=(const RunningApp&) = delete;

    // Pre-translates and dispatches queued messages for ms milliseconds, as the loop does.
    void Pump(DWORD ms = 200);
    // Pumps until the list holds rows rows (the copies run on the program's worker), then a little more.
    void PumpUntilRows(int rows, DWORD timeoutMs = 60000);
    // Pumps until the worker has nothing left to do and its last messages are shown.
    void PumpUntilIdle(DWORD timeoutMs = 60000);
    CTallowboxView* ViewObject() const;

    bool started() const { return m_started; }
    CTallowboxApp& app() { return m_app; }
    HWND Frame() const;
    HWND View() const;
    HWND List() const;
    HWND StatusBar() const;
    std::string StatusText() const;
    // Of the main list, or of list (the history's).
    std::string ItemText(int item, int subItem, HWND list = nullptr) const;
    // The same texts read with the wide messages.
    std::wstring WideStatusText() const;
    std::wstring WideItemText(int item, int subItem) const;
    int ItemCount() const;
    // Selects exactly these list items, the first one focused.
    // In the main list, or in list (the history's).
    void SelectRows(const std::vector<int>& items, HWND list = nullptr);
    // Posts a key message to the list and pumps it with heldKey (0: none) down in this thread's
    // key state.
    void PressKey(UINT message, WPARAM key, int heldKey = 0);
    // Opens the row menu as the keyboard does (at the focused row); seams picks command (0: none).
    void ChooseFromRowMenu(RowSeams& seams, UINT command, HWND list = nullptr);

    bool quitSeen = false;
    WPARAM quitCode = 0xDEAD;

private:
    CTallowboxApp m_app;
    std::vector<char> m_commandLine;
    std::wstring m_wideCommandLine;
    bool m_started = false;
};

// While it lives, the view's shell, question and row-menu calls are recorded instead of made.
class RowSeams {
public:
    RowSeams();
    ~RowSeams();
    RowSeams(const RowSeams&) = delete;
    RowSeams& operator=(const RowSeams&) = delete;

    std::vector<std::pair<std::wstring, std::vector<std::wstring>>> shown; // folder, items selected
    std::vector<std::pair<std::wstring, UINT>> questions;                  // text, box type
    int answer = IDNO;
    std::vector<std::pair<std::wstring, bool>> menu; // the last menu's texts ("" separator), greyed
    std::vector<bool> checked;                       // and their check marks
    UINT menuDefault = 0;
    POINT menuPoint = {};
    int menusShown = 0;
    UINT choice = 0;                  // what is picked from the menu
    std::vector<std::wstring> opened; // files given to their usual program
    std::wstring folderToPick;        // what the folder picker answers ("": cancelled)
    static RowSeams* s_live;

private:
    const CRowCommands::ItemShower m_pfnShowItems;
    const CRowCommands::Asker m_pfnAsk;
    const CRowCommands::MenuTracker m_pfnTrackMenu;
    const CRowCommands::FileOpener m_pfnOpenFile;
    const CRowCommands::FolderPicker m_pfnPickFolder;
};

// A DROPFILES block in global memory listing paths as UTF-16, as the shell posts it (the narrow
// paths are code page 932 text).
HGLOBAL MakeDropBlock(const std::vector<std::string>& paths);
HGLOBAL MakeDropBlock(const std::vector<std::wstring>& paths);
