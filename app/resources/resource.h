// Numeric identifiers of the program's resources, controls, commands and private messages.
// Also included by the core (it names toolbar buttons and burn dialog controls); nothing here
// needs a window header, so the resource compiler and plain C++ both read it.
#pragma once

// Icons, menus, bitmaps
#define IDI_APP                 101
#define IDM_MAIN_MENU           104
#define IDB_TOOLBAR             106
#define IDB_CHIP_RM5164         122
#define IDB_CHIP_RM5168         123

// Dialog templates
#define IDD_BAUD_RATE           108
#define IDD_COM_PORT            111
#define IDD_SELECT_IC           113
#define IDD_ABOUT               125
#define IDD_BANNER              126
#define IDD_BURN                128
#define IDD_SELECT_FILE         135
#define IDD_UNUSED_BYTES        139

// String table
#define IDS_ISP_BURN            1
#define IDS_CHANGE_COM_PORT     2
#define IDS_CHANGE_BAUD_RATE    3
#define IDS_OPEN_FILE           8
#define IDS_SELECT_IC           9

// Commands (toolbar buttons and menu items)
#define IDM_TOOLBAR_OPEN        2
#define IDM_ABOUT               40001
#define IDM_TOOLBAR_BURN        40002
#define IDM_BURN                40003
#define IDM_CHANGE_COM_PORT     40012
#define IDM_TOOLBAR_COM_PORT    40013
#define IDM_TOOLBAR_BAUD_RATE   40014
#define IDM_SET_BAUD_RATE       40015
#define IDM_OPEN_FILE           40016
#define IDM_TOOLBAR_SELECT_IC   40017
#define IDM_CHIP_RM5164         40018
#define IDM_CHIP_RM5168         40019
#define IDM_FILL_FF             40033
#define IDM_FILL_00             40034

// Child control identifiers of the main window
#define IDC_TOOLBAR             1
#define IDC_STATUS_BAR          4

// Dialog controls
#define IDC_ABOUT_OK            1004
#define IDC_ABOUT_VERSION       1013
#define IDC_UNUSED_OK           1004
#define IDC_BURN_MESSAGE        1005
#define IDC_BURN_CLOSE          1007
#define IDC_BURN_PROGRESS       1008
#define IDC_BURN_VERIFY         1016
#define IDC_COM1                1012
#define IDC_COM2                1013
#define IDC_COM3                1014
#define IDC_COM4                1015
#define IDC_BAUD_COMBO          1012
#define IDC_SELECT_RM5164       1020
#define IDC_SELECT_RM5168       1021
#define IDC_FILE1_EDIT          1016
#define IDC_FILE2_EDIT          1017
#define IDC_FILE1_BUTTON        1019
#define IDC_FILE2_BUTTON        1020
#define IDC_FILE_CANCEL         1022
#define IDC_OPEN_FILE1          1023
#define IDC_OPEN_FILES_1_2      4
#define IDC_FILL_FF             1068
#define IDC_FILL_00             1069

// Controls that are never addressed
#define IDC_STATIC              (-1)

// Private messages
#define WM_BANNER_HIDE          (0x0400 + 2)  /* WM_USER + 2 */
#define WM_SET_BURN_MENU        (0x8000 + 1)  /* WM_APP + 1: wParam 1 enables "&Burn", 0 greys it */
