// Fixed IDs of the custom locations dialog, its folder chooser, and the cookie dialogs.
#pragma once

// "Customize Cleaning Directories".
#define IDD_CUSTOM_DIRS 143
#define IDC_CUSTOM_LIST 1072
#define IDC_CUSTOM_ADD 1073
#define IDC_CUSTOM_DELETE 1074
#define IDC_CUSTOM_BROWSE 1075
#define IDC_CUSTOM_FOLDER 1088
#define IDC_CUSTOM_FILTER 1089
#define IDC_CUSTOM_SUBDIRS 1090
#define IDC_CUSTOM_UPDATE 1091

// "Directory Select": the old-style file dialog's own controls keep the
// system's IDs (<dlgs.h>); two of ours come on top.
#define IDD_DIRECTORY_SELECT 1536
#define IDC_DIRSEL_SUBDIRS 1085
#define IDC_DIRSEL_OK 1086
#define IDC_DIRSEL_FILE_NAME 1152  /* edt1 */
#define IDC_DIRSEL_FILES 1120      /* lst1 */
#define IDC_DIRSEL_FOLDERS 1121    /* lst2 */
#define IDC_DIRSEL_TYPES 1136      /* cmb1 */
#define IDC_DIRSEL_DRIVES 1137     /* cmb2 */
#define IDC_DIRSEL_CURRENT 1088    /* stc1 */
#define IDC_DIRSEL_HELP 1038       /* pshHelp */
#define IDC_DIRSEL_READ_ONLY 1040  /* chx1 */

// "Cookie Control" and "Cookie View".
#define IDD_COOKIE_CONTROL 148
#define IDD_COOKIE_VIEW 149
#define IDC_COOKIE_CURRENT 1095
#define IDC_COOKIE_FRIENDLY 1096
#define IDC_COOKIE_TO_FRIENDLY 1097
#define IDC_COOKIE_TO_CURRENT 1098
#define IDC_COOKIE_VIEW 1092
#define IDC_COOKIE_TEXT 1099
