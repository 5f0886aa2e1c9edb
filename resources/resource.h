// Resource and control ids. Ids only need to be unique within one dialog:
// 1008 to 1011 mean different controls on the two pages.
#pragma once

// Dialogs
#define IDD_ABOUT 100
#define IDD_SETTINGS_PAGE 102
#define IDD_OS_PAGE 129

// Icon, strings, menu command
#define IDR_APP_ICON 128
#define IDS_ABOUT_MENU 101
#define IDM_ABOUT 0x0010

// The list data of a dialog: windres's RT_DLGINIT
#define IDR_LIST_DATA_TYPE 240

// Operating-system page (129)
#define IDC_OS_WIN95 1000
#define IDC_OS_WIN98 1001
#define IDC_OS_NT4 1002
#define IDC_OS_WIN2000 1003
#define IDC_OS_XP 1004
#define IDC_LANG_CHINESE 1005
#define IDC_LANG_ENGLISH 1006
#define IDC_DIVIDER 1007
#define IDC_BACK 1008
#define IDC_NEXT 1009
#define IDC_EXIT 1010
#define IDC_OS_2003 1011
#define IDC_OS_VISTA 1020

// Printer settings page (102); Back and Exit share the ids above
#define IDC_MODEL 1011
#define IDC_SET_DEFAULT 1012
#define IDC_PRINTER_NAME 1013
#define IDC_PORT 1014
#define IDC_BAUD 1015
#define IDC_DATA_BITS 1016
#define IDC_FLOW 1017
#define IDC_PARITY 1018
#define IDC_STOP_BITS 1019
#define IDC_FINISH 1009

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// Messages shown after Finish when something did not work (string table)
#define IDS_INSTALL_INCOMPLETE 200
#define IDS_UNSUPPORTED_WINDOWS 201
#define IDS_FAIL_NO_SELECTION 210
#define IDS_FAIL_DRIVER_DIRECTORY 211
#define IDS_FAIL_FILES_MISSING_WIN2K 212
#define IDS_FAIL_FILES_MISSING_WIN9X 213
#define IDS_FAIL_FILES_NOT_COPIED 214
#define IDS_FAIL_DRIVER 215
#define IDS_FAIL_PRINTER 216
#define IDS_FAIL_PRINTER_64BIT 217
#define IDS_FAIL_REGISTRY 218
#define IDS_FAIL_PATH_TOO_LONG 219
#define IDS_FAIL_FILES_IN_USE 220
#define IDS_ADVICE_ADMIN 230
#define IDS_ADVICE_FOLDER_WIN2K 231
#define IDS_ADVICE_FOLDER_WIN9X 232
#define IDS_ADVICE_SPOOLER 233
#define IDS_ADVICE_32BIT 234
#define IDS_ADVICE_SHORTER_PATH 235
#define IDS_ADVICE_CLOSE_PROGRAMS 236
