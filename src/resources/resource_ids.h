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


// Archive download, export and medium dialogs (archive)

