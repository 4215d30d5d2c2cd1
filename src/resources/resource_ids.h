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
