// Resource identifiers of Tallowbox, shared by the C++ code and the resource scripts.
#pragma once

#include "framework/FrameworkIds.h"

#define IDR_MAINFRAME 128
#define IDR_ROW_MENU 129
#define IDD_ABOUTBOX 100
#define IDD_BACKUP_FORM 101
#define IDB_PICTURE 131
#define IDB_LINK 132
#define IDD_HISTORY 135

#define IDC_PICTURE 1001
#define IDC_LINK 1002
#define IDC_BACKUP_LIST 1004
#define IDC_HISTORY_SEARCH 1010
#define IDC_HISTORY_LIST 1011
#define IDC_HISTORY_SUMMARY 1012
#define IDC_HISTORY_CLEANUP 1013
#define IDC_HISTORY_SEARCH_LABEL 1014

#define ID_OPEN_FOLDER 32772
#define ID_ROW_SHOW_BACKUP 32781
#define ID_ROW_SHOW_ORIGINAL 32782
#define ID_ROW_COPY_PATH 32783
#define ID_ROW_RESTORE 32784
#define ID_ROW_OPEN_VERSION 32785
#define ID_ROW_VERSIONS 32786
#define ID_ROW_RESTORE_ELSEWHERE 32787
#define ID_HISTORY 32790

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
