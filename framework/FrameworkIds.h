// Identifiers the framework layer itself relies on: string-table entries, control ids and
// commands. Shared by C++ and the resource script.
#pragma once

#define AFX_IDS_APP_TITLE 57344
#define AFX_IDS_IDLEMESSAGE 57345
// The answers of a question's buttons (AfxAsk), in the screen language.
#define AFX_IDS_ANSWER_YES 57346
#define AFX_IDS_ANSWER_NO 57347
#define AFX_IDS_ANSWER_OK 57348
#define AFX_IDS_SCFIRST 61184 // system-menu prompts: AFX_IDS_SCFIRST + (command - 0xF000) / 16
#define AFX_IDP_FAILED_TO_CREATE_DOC 61700
#define AFX_IDP_UNREG_DONE 61707
#define AFX_IDP_COMMAND_FAILURE 61708   // a command handler threw
#define AFX_IDP_RESOURCE_FAILURE 61709  // a window class, resource or GDI object could not be had

#define AFX_IDW_PANE_FIRST 0xE900
#define AFX_IDW_STATUS_BAR 0xE801

#define ID_SEPARATOR 0
#define ID_FILE_NEW 0xE100
#define ID_FILE_OPEN 0xE101
#define ID_FILE_PRINT_DIRECT 0xE108
#define ID_APP_ABOUT 0xE140
#define ID_APP_EXIT 0xE141
