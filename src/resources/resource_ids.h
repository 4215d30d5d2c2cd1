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
#define IDR_COMPOSER_MENU 107       // pop-up menu of the output definition editor
#define ID_COMPOSER_OR 40027
#define ID_COMPOSER_AND 40028
#define ID_COMPOSER_ZERO 40029
#define ID_COMPOSER_ONE 40030
#define ID_COMPOSER_XOR 40171
#define ID_COMPOSER_RESET 40172
#define IDD_OUTPUT_TEST 121         // "Testowanie wyjść"
#define IDC_FORCE_Y1 1048           // Y1..Y8: 1048..1055
#define IDC_TUNING_RESET 1000       // "Resetuj" of the tuning window


// Device list, live view, login, password and network dialogs (device)


// Archive download, export and medium dialogs (archive)

