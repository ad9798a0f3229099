// Fixed IDs of the control panel: the Settings page and the three sweep pages.
// Several control IDs repeat from page to page (1041 is the Settings page's
// label and the Internet page's "MSN" box): a name says which page it serves.
#pragma once

// Pages.
#define IDD_APPLICATIONS_PAGE 129
#define IDD_INTERNET_PAGE 130
#define IDD_WINDOWS_PAGE 131
#define IDD_SETTINGS_PAGE 132

// The sheet's system menu item "&About ...".
#define IDS_ABOUTBOX 101

// Settings page.
#define IDC_SET_WINDOWS 1019
#define IDC_SET_INTERNET 1020
#define IDC_SET_APPLICATIONS 1021
#define IDC_SET_HOURS_SPIN 1023
#define IDC_SET_EVERY 1024
#define IDC_SET_HOURS 1025
#define IDC_SET_MINUTES_SPIN 1027
#define IDC_SET_SHUTDOWN 1028
#define IDC_SET_STARTUP 1030
#define IDC_SET_MINUTES 1033
#define IDC_SET_SWEEP_NOW 1036
#define IDC_SET_LAST_SWEEP 1041
#define IDC_SET_AUTO_START 1049
#define IDC_SET_SHOW_PROGRESS 1050
#define IDC_SET_LOG 1056
#define IDC_SET_SHOW_LOGO 1084
#define IDC_SET_DEEP_SWEEP 1094
#define IDC_SET_BACKGROUND 1101
#define IDC_SET_SHREDDER 1102
#define IDC_SET_HOURS_LABEL 1200
#define IDC_SET_MINUTES_LABEL 1201
#define IDC_SET_PREVIEW 1202

// Sweep Windows page.
#define IDC_WIN_DOCUMENTS 1007
#define IDC_WIN_FIND 1009
#define IDC_WIN_RUN 1010
#define IDC_WIN_TEMP 1011
#define IDC_WIN_RECYCLE_BIN 1012
#define IDC_WIN_LOGON_USER 1013
#define IDC_WIN_SWEEP 1038
#define IDC_WIN_LAST_SWEEP 1044
#define IDC_WIN_LOG 1055
#define IDC_WIN_NETWORK 1057
#define IDC_WIN_LOCATIONS 1070
#define IDC_WIN_EDIT_LOCATIONS 1071

// Sweep Internet page.
#define IDC_INET_HISTORY 1031
#define IDC_INET_COOKIES 1032
#define IDC_INET_CONTENT 1034
#define IDC_INET_SWEEP 1035
#define IDC_INET_PASSWORDS 1037
#define IDC_INET_FORM_DATA 1039
#define IDC_INET_AOL 1040
#define IDC_INET_MSN 1041
#define IDC_INET_GOOGLE_BAR 1042
#define IDC_INET_LAST_SWEEP 1043
#define IDC_INET_YAHOO_BAR 1044
#define IDC_INET_LOG 1053
#define IDC_INET_FRIENDLY_COOKIES 1092
#define IDC_INET_FIREFOX 1104

// Sweep Applications page.
#define IDC_APP_WORD 1002
#define IDC_APP_EXCEL 1003
#define IDC_APP_POWERPOINT 1004
#define IDC_APP_ACCESS 1006
#define IDC_APP_ACROBAT 1008
#define IDC_APP_MEDIA_PLAYER 1009
#define IDC_APP_REALPLAYER 1010
#define IDC_APP_SWEEP 1018
#define IDC_APP_LAST_SWEEP 1042
#define IDC_APP_LOG 1051
