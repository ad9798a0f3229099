// Fixed IDs of the resident program: the tray menu's commands and strings,
// the startup window and its strings.
#pragma once

// Tray menu: each command's ID is also the ID of its text in the string table.
#define IDM_SHOW_PANEL 1014
#define IDM_EXIT 1015
#define IDM_HIDE_LOG 1016
#define IDM_SWEEP_NOW 1017
#define IDM_CANCEL_SWEEP 1018
#define IDM_SHOW_LOG 1019
#define IDS_TRAY_BANNER 1020
#define IDM_ABOUT 1021
#define IDM_ONLINE_HELP 1023
#define IDM_SHOW_RESULTS 1029  // only while a preview table exists

// Startup window (also the About box).
#define IDD_LOGO 144
#define IDC_LOGO_NOT_AGAIN 1076
#define IDC_LOGO_TEXT 1078
#define IDC_LOGO_TITLE 1080
#define IDC_LOGO_NOTICE 1081
#define IDC_LOGO_WEB 1092
#define IDS_LOGO_TEXT 1026
#define IDS_LOGO_NOTICE 1027
#define IDS_HELP_ADDRESS 1033
