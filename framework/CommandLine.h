// What the command line asks the application to do at start-up: the arguments after the
// program's name, switches after "/" or "-", the first plain argument as the document path.
#pragma once

#include "String.h"

#include <windows.h>

class CCommandLineInfo {
public:
    enum ShellCommand { FileNew, FileOpen, FilePrint, FilePrintTo, FileDDE, AppUnregister, FileNothing };

    CCommandLineInfo() = default;
    virtual ~CCommandLineInfo() = default;

    // Called once per argument; bFlag when it was a switch (pszParam is then the text after
    // the "/" or "-"), bLast for the last argument.
    virtual void ParseParam(const char* pszParam, BOOL bFlag, BOOL bLast);

    BOOL m_bShowSplash = TRUE;
    BOOL m_bRunEmbedded = FALSE;
    BOOL m_bRunAutomated = FALSE;
    ShellCommand m_nShellCommand = FileNew;
    CString m_strFileName;
    CString m_strPrinterName;
    CString m_strDriverName;
    CString m_strPortName;

private:
    void ParseParamFlag(const char* pszParam);
    void ParseParamNotFlag(const char* pszParam);
    void ParseLast(BOOL bLast);
};

// Feeds argv[1..argc-1] to rCmdInfo.ParseParam, as the runtime split them.
void ParseArguments(CCommandLineInfo& rCmdInfo, int argc, const char* const* argv);
