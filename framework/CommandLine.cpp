#include "CommandLine.h"

#include <cstring>

void CCommandLineInfo::ParseParam(const char* pszParam, BOOL bFlag, BOOL bLast) {
    if (bFlag)
        ParseParamFlag(pszParam);
    else
        ParseParamNotFlag(pszParam);
    ParseLast(bLast);
}

void CCommandLineInfo::ParseParamFlag(const char* pszParam) {
    // "p" and "pt" are compared exactly, the OLE-style names without regard to case.
    if (std::strcmp(pszParam, "pt") == 0)
        m_nShellCommand = FilePrintTo;
    else if (std::strcmp(pszParam, "p") == 0)
        m_nShellCommand = FilePrint;
    else if (::lstrcmpiA(pszParam, "Unregister") == 0 || ::lstrcmpiA(pszParam, "Unregserver") == 0)
        m_nShellCommand = AppUnregister;
    else if (std::strcmp(pszParam, "dde") == 0)
        m_nShellCommand = FileDDE;
    else if (::lstrcmpiA(pszParam, "Embedding") == 0)
        m_bRunEmbedded = TRUE;
    else if (::lstrcmpiA(pszParam, "Automation") == 0)
        m_bRunAutomated = TRUE;
}

void CCommandLineInfo::ParseParamNotFlag(const char* pszParam) {
    if (m_strFileName.IsEmpty())
        m_strFileName = pszParam;
    else if (m_nShellCommand == FilePrintTo && m_strPrinterName.IsEmpty())
        m_strPrinterName = pszParam;
    else if (m_nShellCommand == FilePrintTo && m_strDriverName.IsEmpty())
        m_strDriverName = pszParam;
    else if (m_nShellCommand == FilePrintTo && m_strPortName.IsEmpty())
        m_strPortName = pszParam;
}

void CCommandLineInfo::ParseLast(BOOL bLast) {
    if (!bLast)
        return;
    if (m_nShellCommand == FileNew && !m_strFileName.IsEmpty())
        m_nShellCommand = FileOpen;
    m_bShowSplash = !m_bRunEmbedded && !m_bRunAutomated;
}

void ParseArguments(CCommandLineInfo& rCmdInfo, int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i) {
        const char* param = argv[i] ? argv[i] : "";
        const BOOL bFlag = param[0] == '-' || param[0] == '/';
        if (bFlag)
            ++param;
        rCmdInfo.ParseParam(param, bFlag, i == argc - 1);
    }
}
