// Identifiers of the resources in ui.rc and its fragments (one block per subsystem): the one
// definition of every command, control, menu and picture number. The .rc files, the windows and
// the window tests take their numbers from here. Where the portable engines number the same
// commands (doc/editor_commands.h, logic/definition_commands.h), static_asserts in their
// windows' files tie each number to its name here.
#pragma once

// Main window, toolbar, diagnostics, About, artwork (shell)
#define IDR_MAINMENU 101
#define IDB_TOOLBAR 103
#define IDR_ACCELERATORS 104
#define IDI_MAINFRAME 114
#define IDB_SAMPLE_PICTURE 115
#define IDD_ABOUT 122
#define IDB_LOGO 123
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


// Detector editor (doc): its context menu and the cursors of the eraser, move and direction
// tools
#define IDC_ERASER 102
#define IDR_EDITOR_CONTEXTMENU 105
#define IDC_DIRECTION 117
#define IDC_MOVE 124


// Detector parameters, output definitions, tuning, output test (logic)
#define IDD_PARAMETERS 106
#define IDC_PARAMETERS_TRACK 1003
#define IDC_PARAMETERS_NUMBER 1004
#define IDC_PARAMETERS_CONTRAST 1005
#define IDC_PARAMETERS_DIRECTIONAL 1032
#define IDC_PARAMETERS_ANGLE 1033
#define IDC_PARAMETERS_NORMAL 1034
#define IDC_PARAMETERS_DELAY 1035
#define IDC_PARAMETERS_EXTENSION 1036
#define IDC_PARAMETERS_TRACK_LABEL 1037
#define IDC_PARAMETERS_NUMBER_LABEL 1038
#define IDC_PARAMETERS_DELAY_LABEL 1039
#define IDC_PARAMETERS_EXTENSION_LABEL 1040
#define IDC_PARAMETERS_ANGLE_LABEL 1041

#define IDR_COMPOSER_MENU 107       // pop-up menu of the output definition editor
#define ID_COMPOSER_OR 40027
#define ID_COMPOSER_AND 40028
#define ID_COMPOSER_ZERO 40029
#define ID_COMPOSER_ONE 40030
#define ID_COMPOSER_DETECTOR_FIRST 40031  // "A1" .. "A32", "B1" .. "D32": 40031..40158
#define ID_COMPOSER_DETECTOR_LAST 40158
#define ID_COMPOSER_UNDEFINED 40159     // "Nieokreślony"
#define ID_COMPOSER_XOR 40171
#define ID_COMPOSER_RESET 40172
#define IDD_OUTPUT_TEST 121         // "Testowanie wyjść"
#define IDC_FORCE_Y1 1048           // forcing Y1..Y8: 1048..1055, in order
#define IDC_FORCE_Y2 1049
#define IDC_FORCE_Y3 1050
#define IDC_FORCE_Y4 1051
#define IDC_FORCE_Y5 1052
#define IDC_FORCE_Y6 1053
#define IDC_FORCE_Y7 1054
#define IDC_FORCE_Y8 1055
// Children of the tuning window "Strojenie detektorów"
#define IDC_TUNING_RESET 1000       // "Resetuj"
#define IDC_TUNING_FEATURE 1001     // feature threshold box ("Czułość detekcji")
#define IDC_TUNING_THRESHOLD 1002   // threshold box ("Próg detekcji")
#define IDC_TUNING_HORIZONTAL 1003  // read-outs of the values under the pointer
#define IDC_TUNING_VERTICAL 1004
#define IDC_TUNING_FEATURE_LABEL 1005
#define IDC_TUNING_THRESHOLD_LABEL 1006


// Device list, live view, login, password and network dialogs (device)
#define IDD_DEVICE_LIST 108
#define IDD_LOGIN 118
#define IDD_PASSWORD 119
#define IDD_NETWORK 120
#define IDC_DEVICE_LIST 1006
#define IDC_ADDRESS 1009
#define IDC_USER_NAME 1010
#define IDC_PASSWORD 1011
#define IDC_NEW_PASSWORD 1043
#define IDC_CONFIRM_PASSWORD 1044
#define IDC_GATEWAY 1045
#define IDC_NETMASK 1046
#define IDC_HARDWARE_ADDRESS 1047


// Archive download, export and medium dialogs (archive)
#define IDD_ARCHIVE 112
#define IDC_ARCHIVE_FILES 1012
#define IDC_ARCHIVE_DOWNLOAD 1013
#define IDC_ARCHIVE_REFRESH 1014
#define IDC_ARCHIVE_FOLDERS 1015
#define IDC_ARCHIVE_BROWSE 1020
#define IDC_ARCHIVE_TARGET 1031

// Export dialog "Eksportuj archiwum" and archive medium dialog "Przygotowanie nośnika archiwum"
#define IDD_EXPORT 113
#define IDD_ARCHIVE_MEDIUM 116
#define IDC_EXPORT_SOURCES 1012
#define IDC_EXPORT_PROGRESS 1016
#define IDC_EXPORT_STATUS 1017
#define IDC_EXPORT_CHOOSE 1019
#define IDC_EXPORT_COPY 1022
#define IDC_EXPORT_RECOMPRESS 1023
#define IDC_MEDIUM_TWO_CAMERAS 1001
#define IDC_MEDIUM_ONE_CAMERA 1018
#define IDC_MEDIUM_CHOOSE 1021
#define IDC_MEDIUM_QUALITY 1024
#define IDC_MEDIUM_PREVIEW 1025
#define IDC_MEDIUM_BIT_RATE 1026
#define IDC_MEDIUM_NAME 1027
#define IDC_MEDIUM_TIME 1028
#define IDC_MEDIUM_ICON 1029
#define IDC_MEDIUM_SAVE 1030
