// Identifiers of the resources in trevnaconf.rc. Shared by the .rc file and the code.
#pragma once

#define IDR_MAINMENU 101
#define IDR_ACCELERATORS 104
#define IDI_MAINFRAME 114
#define IDB_SAMPLE_PICTURE 115
#define IDD_ABOUT 122
#define IDB_LOGO 123
