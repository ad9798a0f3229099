// Fixed resource IDs of Morvane. Stored settings and peers rely on none of
// these, but dialogs and tests address controls by them.
#pragma once

#define IDI_MAINFRAME 137

// Progress window and its confirmation.
#define IDD_PROGRESS 142
#define IDD_CLEAR_LOG 146
#define IDC_CLOSE_PROGRESS 1062
#define IDC_DETAILS 1063
#define IDC_CLEAR_LOG 1067

// The controls the sweep log writes to. C++ code takes them from
// engine/sweep_log.h (an enum there); only the resource compiler needs them here.
#ifdef RC_INVOKED
#define IDC_PROGRESS_WINDOWS 1058
#define IDC_PROGRESS_INTERNET 1059
#define IDC_PROGRESS_APPLICATIONS 1060
#define IDC_SWEEP_LOG 1061
#define IDC_STATUS_WINDOWS 1064
#define IDC_STATUS_INTERNET 1065
#define IDC_STATUS_APPLICATIONS 1066
#define IDC_TOTALS 1083
#endif

// Strings.
#define IDS_LOG_START 1025

#include "shell_ids.h"
#include "panel_ids.h"
#include "dialogs_ids.h"
#include "results_ids.h"
