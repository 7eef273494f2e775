// Resource ids of the installer, shared by the resource script and the code.
#pragma once

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_OVASTRO_DIALOG 102
#define IDR_MAINFRAME 128

// Skin bitmaps
#define IDB_BANNER 129
#define IDB_START 130
#define IDB_CLOSE 131
#define IDB_MINIMIZE 132
#define IDB_CHECKBOX 141
#define IDB_CUSTOM_GLYPHS 142
#define IDB_CHANGE_DIR 143
#define IDB_PATH_FRAME 144
#define IDB_QR_CODE 145
#define IDB_DONE 150

// The licence page, type RT_HTML (23)
#define IDR_LICENSE 148

// Controls of the main window
#define IDC_EDIT_PATH 1000
#define IDC_CHECK_AGREE 1001
#define IDC_BTN_LICENSE 1002
#define IDC_BTN_CLOSE 1003
#define IDC_BTN_MIN 1004
#define IDC_BTN_CHANGE_DIR 1005
#define IDC_BTN_START 1006
#define IDC_BTN_FINISH 1007
#define IDC_CHECK_CUSTOM 1009
#define IDC_CHECK_HELP 1010
