// Identifiers of the resources in ui.rc and its fragments (one block per subsystem). Shared by the
// .rc files and the code.
#pragma once

// Main window, toolbar, diagnostics, About, artwork (shell)
#define IDR_MAINMENU 101
#define IDC_ERASER 102
#define IDB_TOOLBAR 103
#define IDR_ACCELERATORS 104
#define IDI_MAINFRAME 114
#define IDB_SAMPLE_PICTURE 115
#define IDC_DIRECTION 117
#define IDD_ABOUT 122
#define IDB_LOGO 123
#define IDC_MOVE 124
#define IDB_ERROR_MARK 125
// About dialog controls
#define IDC_ABOUT_LOGO 1201
#define IDC_ABOUT_PRODUCT 1202
#define IDC_ABOUT_VERSION 1203
#define IDC_ABOUT_DESCRIPTION 1204
#define IDC_ABOUT_LINK 1205
// Commands of the main menu, the accelerators and the toolbar (the editor's context menu uses
// the same numbers)
#define IDM_FILE_NEW 57600
#define IDM_FILE_OPEN 57601
#define IDM_FILE_SAVE 57603
#define IDM_FILE_SAVE_AS 40021
#define IDM_APP_EXIT 40001
#define IDM_EDIT_UNDO 57643
#define IDM_EDIT_REDO 57644
#define IDM_EDIT_COPY 57634
#define IDM_EDIT_PASTE 57637
#define IDM_EDIT_DELETE 40019
#define IDM_LINE_WIDTH_1 40004
#define IDM_LINE_WIDTH_2 40005
#define IDM_LINE_WIDTH_3 40006
#define IDM_LINE_WIDTH_4 40007
#define IDM_FILL_NONE 40164
#define IDM_FILL_LADDER_1 40009
#define IDM_FILL_LADDER_2 40010
#define IDM_FILL_LADDER_3 40011
#define IDM_FILL_LADDER_4 40012
#define IDM_FILL_LADDER_5 40013
#define IDM_FILL_LADDER_6 40014
#define IDM_FILL_UNIFORM_20 40008
#define IDM_ZOOM_IN 40002
#define IDM_ZOOM_OUT 40003
#define IDM_VIEW_PARAMETERS 40025
#define IDM_VIEW_DEFINITIONS 40026
#define IDM_VIEW_DEVICE_LIST 40161
#define IDM_VIEW_TUNING 40165
#define IDM_VIEW_DETECTION_PREVIEW 40173
#define IDM_INSERT_QUAD 40017
#define IDM_INSERT_LINE 40022
#define IDM_INSERT_QUAD_AT 40023
#define IDM_INSERT_LINE_AT 40024
#define IDM_BACKGROUND_FILE 40018
#define IDM_BACKGROUND_LIVE 40160
#define IDM_CONNECTION_OPEN 40167
#define IDM_CONNECTION_CLOSE 40168
#define IDM_TOOL_POINTER 40016
#define IDM_TOOL_ERASER 40015
#define IDM_TOOL_MOVE 40180
#define IDM_TOOL_DIRECTION 40166
#define IDM_DEVICE_PROGRAM 40020
#define IDM_DEVICE_DOWNLOAD_PROGRAM 40179
#define IDM_DEVICE_RESTART 40169
#define IDM_ARCHIVE_DOWNLOAD 40162
#define IDM_ARCHIVE_EXPORT 40170
#define IDM_ARCHIVE_MEDIUM 40163
#define IDM_DEVICE_PASSWORD 40174
#define IDM_DEVICE_NETWORK 40175
#define IDM_OUTPUT_TEST 40176
#define IDM_HELP_MANUAL 40177
#define IDM_HELP_ABOUT 40178


// Detector editor (doc)


// Detector parameters, output definitions, tuning, output test (logic)


// Device list, live view, login, password and network dialogs (device)


// Archive download, export and medium dialogs (archive)

