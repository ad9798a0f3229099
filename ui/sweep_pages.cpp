#include "ui/sweep_pages.h"

#include "engine/sweep_worker.h"
#include "res/resource.h"
#include "ui/cookie_dlg.h"
#include "ui/custom_dir_dlg.h"

namespace {

const SweepPageInfo kWindowsPage = {SWEEP_CATEGORY_WINDOWS,
                                    SWEEP_WINDOWS,
                                    IDC_WIN_SWEEP,
                                    "Sweep Windows",
                                    "Cancel Sweep",
                                    "\nStart Sweeping windows temporary files manually.",
                                    IDC_WIN_LAST_SWEEP,
                                    IDC_WIN_LOG};

const SweepPageInfo kInternetPage = {SWEEP_CATEGORY_INTERNET,
                                     SWEEP_INTERNET,
                                     IDC_INET_SWEEP,
                                     "Sweep Internet Applications",
                                     "Cancel Sweeping",
                                     "\nStart Sweeping history on internet browser manually.",
                                     IDC_INET_LAST_SWEEP,
                                     IDC_INET_LOG};

const SweepPageInfo kApplicationsPage = {SWEEP_CATEGORY_APPLICATIONS,
                                         SWEEP_APPLICATIONS,
                                         IDC_APP_SWEEP,
                                         "Sweep Applications",
                                         "Cancel Sweep",
                                         "\nStart washing history on application manually.",
                                         IDC_APP_LAST_SWEEP,
                                         IDC_APP_LOG};

}  // namespace

// --- Sweep Windows -----------------------------------------------------------

CWinTmpPage::CWinTmpPage(PanelHost* host)
    : CCategoryPage(IDD_WINDOWS_PAGE, kWindowsPage, host, g_WindowsSettings, WindowsTargetChecks()) {}

bool CWinTmpPage::OnInitDialog() {
  CSweepPage::OnInitDialog();
  FillLocations();
  return true;
}

bool CWinTmpPage::OnExtraCommand(int id) {
  if (id != IDC_WIN_EDIT_LOCATIONS) return false;
  OnEditLocations();
  return true;
}

void CWinTmpPage::FillLocations() {
  if (m_hWnd == nullptr) return;
  SendItemMessage(IDC_WIN_LOCATIONS, LB_RESETCONTENT);
  for (const CustomLocation& location : m_fields.m_locations)
    SendItemMessage(IDC_WIN_LOCATIONS, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(location.m_strDisplay.c_str()));
}

void CWinTmpPage::OnEditLocations() {
  std::vector<CustomLocation> edited = m_fields.m_locations;
  if (!RunCustomDirDialog(m_hWnd, edited)) return;
  m_fields.m_locations = std::move(edited);
  FillLocations();
  m_fields.m_bLocationsChanged = 1;
  SetModified();
}

// --- Sweep Internet ----------------------------------------------------------

CInternetPage::CInternetPage(PanelHost* host)
    : CCategoryPage(IDD_INTERNET_PAGE, kInternetPage, host, g_InternetSettings, InternetTargetChecks()) {}

bool CInternetPage::OnExtraCommand(int id) {
  if (id != IDC_INET_FRIENDLY_COOKIES) return false;
  OnCookies();
  return true;
}

void CInternetPage::OnCookies() { RunCookieControl(m_hWnd); }

// --- Sweep Applications ------------------------------------------------------

CApplicationPage::CApplicationPage(PanelHost* host)
    : CCategoryPage(IDD_APPLICATIONS_PAGE, kApplicationsPage, host, g_ApplicationSettings,
                    ApplicationsTargetChecks()) {}
