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
#define IDR_EDITOR_CONTEXTMENU 105


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


// Device list, live view, login, password and network dialogs (device)


// Archive download, export and medium dialogs (archive)

