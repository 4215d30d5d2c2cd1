// Identifiers of the resources in ui.rc and its fragments (one block per subsystem). Shared by the
// .rc files and the code.
#pragma once

// Main window, toolbar, diagnostics, About, artwork (shell)
#define IDR_MAINMENU 101
#define IDR_ACCELERATORS 104
#define IDI_MAINFRAME 114
#define IDB_SAMPLE_PICTURE 115
#define IDD_ABOUT 122
#define IDB_LOGO 123


// Detector editor (doc)


// Detector parameters, output definitions, tuning, output test (logic)


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

