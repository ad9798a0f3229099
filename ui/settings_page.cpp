#include "ui/settings_page.h"

#include <commctrl.h>

#include <cstdio>
#include <string>

#include "engine/sweep_log.h"
#include "engine/sweep_worker.h"
#include "res/resource.h"
#include "settings/policy.h"
#include "settings/settings_groups.h"
#include "ui/panel_actions.h"
#include "ui/panel_host.h"
#include "ui/sweep_page.h"

namespace {

const char kSweepNowCaption[] = "Sweep Now";
const int kIntervalIds[] = {IDC_SET_HOURS,   IDC_SET_HOURS_SPIN,   IDC_SET_HOURS_LABEL,
                            IDC_SET_MINUTES, IDC_SET_MINUTES_SPIN, IDC_SET_MINUTES_LABEL};
// The boxes that only mark the page changed; their values are read at apply.
const int kPlainChecks[] = {IDC_SET_WINDOWS,    IDC_SET_INTERNET,   IDC_SET_APPLICATIONS, IDC_SET_SHOW_PROGRESS,
                            IDC_SET_SHOW_LOGO, IDC_SET_DEEP_SWEEP, IDC_SET_BACKGROUND,   IDC_SET_SHREDDER,
                            IDC_SET_BROWSER_CLOSE};

std::string TwoDigits(int n) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d", n);
  return text;
}

// Digits only, at most two of them (an empty text is 0), within 0..highest.
bool ParseField(const std::string& text, int highest, int* value) {
  if (text.size() > 2) return false;
  int n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + (c - '0');
  }
  if (n > highest) return false;
  *value = n;
  return true;
}

}  // namespace

CLustraPage::CLustraPage(PanelHost* host) : CPropertyPage(IDD_SETTINGS_PAGE), m_pHost(host) {
  g_GeneralSettings.ToPage(m_fields);
}

void CLustraPage::SetSweepPages(CSweepPage* internet, CSweepPage* windows, CSweepPage* applications) {
  m_pInternet = internet;
  m_pWindows = windows;
  m_pApplications = applications;
}

// --- page set-up, apply and cancel ---------------------------------------------

namespace {
// Asks every so often whether a sweep runs, as none of them tells the page.
constexpr UINT_PTR kBusyTimer = 1;
constexpr UINT kBusyTimerMs = 250;
}  // namespace

bool CLustraPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  ExchangeChecks(*this, SettingsTargetChecks(), m_fields, false);
  ExchangeChecks(*this, SettingsSweepAtChecks(), m_fields, false);
  SetCheck(IDC_SET_SHOW_LOGO, m_fields.m_bShowStartupWindow == 1 ? BST_CHECKED : BST_UNCHECKED);
  ShowInterval(m_fields.m_bSweepEvery == 1);
  LockFixedSettings();

  SweepWorker* worker = m_pHost->Worker();
  {
    WorkerHold hold(worker);
    // A sweep of chosen entries is not the page's to cancel: its end never
    // gives "Sweep Now" back.
    m_bRunning = m_pHost->IsSweeping() && !m_pHost->IsSweepingSelected() && worker != nullptr && worker->IsAnyRunning();
  }
  SetSweepButton(m_bRunning ? kCancelSweepCaption : kSweepNowCaption);
  EnableSweepButtons(!m_pHost->IsPreviewing() && !m_pHost->IsSweepingSelected());
  ::SetTimer(m_hWnd, kBusyTimer, kBusyTimerMs, nullptr);
  ShowLastSweep();
  AddBrowserCloseTip();
  return true;
}

const char kBrowserCloseTip[] =
    "When a browser closes (its own entries): sweeps that browser's own entries only, not a whole sweep.";

void CLustraPage::AddBrowserCloseTip() {
  HWND box = GetItem(IDC_SET_BROWSER_CLOSE);
  if (box == nullptr) return;
  // The tip belongs to the page: it goes with the page's window.
  HWND tip = ::CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, 0, 0,
                               0, 0, m_hWnd, nullptr, nullptr, nullptr);
  if (tip == nullptr) return;
  TOOLINFOA tool = {};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = m_hWnd;
  tool.uId = reinterpret_cast<UINT_PTR>(box);
  tool.lpszText = const_cast<char*>(kBrowserCloseTip);
  ::SendMessageA(tip, TTM_SETMAXTIPWIDTH, 0, 300);
  ::SendMessageA(tip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
  m_hBrowserCloseTip = tip;
}

bool CLustraPage::OnApply() {
  if (m_hWnd != nullptr) {
    ExchangeChecks(*this, SettingsTargetChecks(), m_fields, true);
    ExchangeChecks(*this, SettingsSweepAtChecks(), m_fields, true);
    m_fields.m_bShowStartupWindow = GetCheck(IDC_SET_SHOW_LOGO) == BST_CHECKED ? 1 : 0;
  }
  g_GeneralSettings.FromPage(m_fields);
  // Only a changed schedule touches the timer: re-arming it on every apply
  // would push the next timed sweep a whole interval away.
  if (m_bTimerChanged) {
    m_pHost->CancelSweepTimer();
    if (m_fields.m_bSweepEvery == 1 && m_fields.m_nSeconds > 0) m_pHost->SetSweepTimer(m_fields.m_nSeconds);
    m_bTimerChanged = false;
  }
  if (m_bAutoStartChanged) {
    // Settings know nothing of the sweep log: the line is logged here.
    if (const char* line = g_GeneralSettings.UpdateAutoStart(::GetCommandLineA())) LogLine(line, 0);
    m_bAutoStartChanged = false;
  }
  return CPropertyPage::OnApply();
}

void CLustraPage::OnCancel() {
  g_GeneralSettings.ToPage(m_fields);
  m_bTimerChanged = false;
  m_bAutoStartChanged = false;
}

// --- buttons and boxes -----------------------------------------------------------

bool CLustraPage::OnCommand(int id, int code, HWND control) {
  if (code == EN_CHANGE && (id == IDC_SET_HOURS || id == IDC_SET_MINUTES)) {
    OnIntervalTyped(id);
    return true;
  }
  if (code != BN_CLICKED) return false;
  switch (id) {
    case IDC_SET_SWEEP_NOW:
      SweepAll();
      return true;
    case IDC_SET_PREVIEW:
      Preview();
      return true;
    case IDC_SET_EVERY:
      OnEvery();
      return true;
    case IDC_SET_SHUTDOWN:
    case IDC_SET_STARTUP:
      OnSweepAtExitOrStartup(id);
      return true;
    case IDC_SET_AUTO_START:
      m_bAutoStartChanged = true;
      SetModified();
      return true;
    case IDC_SET_LOG:
      PostShowProgress(m_pHost);
      return true;
    default:
      break;
  }
  for (int plain : kPlainChecks) {
    if (plain == id) {
      SetModified();
      return true;
    }
  }
  return false;
}

void CLustraPage::LockFixedSettings() {
  const GeneralSettings& general = g_GeneralSettings;
  for (const auto& c : SettingsTargetChecks())
    if (general.IsFixed("Targets", static_cast<unsigned>(c.bit))) EnableItem(c.controlId, false);
  // The three schedule boxes exclude each other: one fixed box fixes the
  // others, or a click on them would undo it. "Browser closes" stands alone.
  constexpr unsigned kSchedule = SWEEP_AT_INTERVAL | SWEEP_AT_EXIT | SWEEP_AT_STARTUP;
  const bool scheduleFixed = general.IsFixed("StTm", kSchedule);
  for (const auto& c : SettingsSweepAtChecks()) {
    const bool fixed = (static_cast<unsigned>(c.bit) & kSchedule) != 0 ? scheduleFixed
                                                                        : general.IsFixed("StTm", static_cast<unsigned>(c.bit));
    if (fixed) EnableItem(c.controlId, false);
  }
  if (scheduleFixed || general.IsFixed("TmSn"))
    for (int id : kIntervalIds) EnableItem(id, false);
  ShowItem(IDC_SET_POLICY_NOTE, AnyPolicySet());
}

// "Every", "Shutdown" and "Startup" exclude each other. The group takes the
// new schedule at apply, so that a cancelled sheet leaves it as it was.
void CLustraPage::OnEvery() {
  SetModified();
  m_fields.m_bSweepEvery = m_fields.m_bSweepEvery == 1 ? 0 : 1;
  SetCheck(IDC_SET_EVERY, m_fields.m_bSweepEvery == 1 ? BST_CHECKED : BST_UNCHECKED);
  ShowInterval(m_fields.m_bSweepEvery == 1);
  m_bTimerChanged = true;
  m_fields.m_bSweepShutdown = 0;
  m_fields.m_bSweepStartup = 0;
  SetCheck(IDC_SET_SHUTDOWN, BST_UNCHECKED);
  SetCheck(IDC_SET_STARTUP, BST_UNCHECKED);
}

void CLustraPage::OnSweepAtExitOrStartup(int id) {
  SetModified();
  m_fields.m_bSweepEvery = 0;
  SetCheck(IDC_SET_EVERY, BST_UNCHECKED);
  ShowInterval(false);
  m_bTimerChanged = true;
  const bool checked = GetCheck(id) == BST_CHECKED;
  const int other = id == IDC_SET_SHUTDOWN ? IDC_SET_STARTUP : IDC_SET_SHUTDOWN;
  (id == IDC_SET_SHUTDOWN ? m_fields.m_bSweepShutdown : m_fields.m_bSweepStartup) = checked ? 1 : 0;
  (id == IDC_SET_SHUTDOWN ? m_fields.m_bSweepStartup : m_fields.m_bSweepShutdown) = 0;
  SetCheck(other, BST_UNCHECKED);
}

// --- the interval ------------------------------------------------------------------

void CLustraPage::ShowInterval(bool show) {
  if (show) {
    PutNumber(IDC_SET_HOURS, Hours());
    PutNumber(IDC_SET_MINUTES, Minutes());
    SendItemMessage(IDC_SET_HOURS, EM_LIMITTEXT, 2);
    SendItemMessage(IDC_SET_MINUTES, EM_LIMITTEXT, 2);
    SendItemMessage(IDC_SET_HOURS_SPIN, UDM_SETRANGE, 0, MAKELPARAM(23, 0));
    SendItemMessage(IDC_SET_MINUTES_SPIN, UDM_SETRANGE, 0, MAKELPARAM(59, 0));
    SendItemMessage(IDC_SET_HOURS_SPIN, UDM_SETPOS, 0, MAKELPARAM(Hours(), 0));
    SendItemMessage(IDC_SET_MINUTES_SPIN, UDM_SETPOS, 0, MAKELPARAM(Minutes(), 0));
  }
  for (int id : kIntervalIds) ShowItem(id, show);
}

void CLustraPage::PutNumber(int editId, int value) {
  std::string text = TwoDigits(value);
  (editId == IDC_SET_HOURS ? m_fields.m_strHours : m_fields.m_strMinutes) = text;
  m_bFilling = true;
  SetItemText(editId, text.c_str());
  m_bFilling = false;
}

bool CLustraPage::OnNotify(NMHDR* header, LRESULT* result) {
  if (header->code == UDN_DELTAPOS &&
      (header->idFrom == IDC_SET_HOURS_SPIN || header->idFrom == IDC_SET_MINUTES_SPIN)) {
    auto* change = reinterpret_cast<NMUPDOWN*>(header);
    if (header->idFrom == IDC_SET_HOURS_SPIN)
      OnHoursSpin(change);
    else
      OnMinutesSpin(change);
    // The page has put the spin where it belongs; the control must not move it again.
    *result = TRUE;
    return true;
  }
  return CPropertyPage::OnNotify(header, result);
}

void CLustraPage::OnHoursSpin(NMUPDOWN* change) {
  int hours = change->iPos + change->iDelta;
  hours = hours < 0 ? 0 : hours > 23 ? 23 : hours;
  SendItemMessage(IDC_SET_HOURS_SPIN, UDM_SETPOS, 0, MAKELPARAM(hours, 0));
  if (TwoDigits(hours) != GetItemText(IDC_SET_HOURS)) {
    PutNumber(IDC_SET_HOURS, hours);
    m_fields.m_nSeconds = hours * 3600 + Minutes() * 60;
    m_bTimerChanged = true;
  }
  SetModified();
}

void CLustraPage::OnMinutesSpin(NMUPDOWN* change) {
  int minutes = change->iPos + change->iDelta;
  // The spin alone never brings the interval down to nothing.
  int hours = 0;
  if (minutes <= 0) minutes = ParseField(GetItemText(IDC_SET_HOURS), 23, &hours) && hours != 0 ? 0 : 1;
  if (minutes >= 60) minutes = 59;
  SendItemMessage(IDC_SET_MINUTES_SPIN, UDM_SETPOS, 0, MAKELPARAM(minutes, 0));
  if (TwoDigits(minutes) != GetItemText(IDC_SET_MINUTES)) {
    PutNumber(IDC_SET_MINUTES, minutes);
    m_fields.m_nSeconds = Hours() * 3600 + minutes * 60;
    m_bTimerChanged = true;
  }
  SetModified();
}

// A typed change: a valid number moves the spin and the interval; anything
// else is replaced at once by the value before it.
void CLustraPage::OnIntervalTyped(int editId) {
  if (m_bFilling) return;
  const bool hours = editId == IDC_SET_HOURS;
  m_bTimerChanged = true;
  SetModified();
  int value = 0;
  std::string text = GetItemText(editId);
  if (!ParseField(text, hours ? 23 : 59, &value)) {
    PutNumber(editId, hours ? Hours() : Minutes());
    return;
  }
  const int spin = hours ? IDC_SET_HOURS_SPIN : IDC_SET_MINUTES_SPIN;
  LRESULT pos = SendItemMessage(spin, UDM_GETPOS);
  if (HIWORD(pos) != 0 || LOWORD(pos) != value) SendItemMessage(spin, UDM_SETPOS, 0, MAKELPARAM(value, 0));
  (hours ? m_fields.m_strHours : m_fields.m_strMinutes) = text;
  m_fields.m_nSeconds = hours ? value * 3600 + Minutes() * 60 : Hours() * 3600 + value * 60;
}

// --- sweeping ----------------------------------------------------------------------

void CLustraPage::SetSweepButton(const char* caption) {
  if (m_hWnd != nullptr) SetItemText(IDC_SET_SWEEP_NOW, caption);
}

int CLustraPage::RequestEnabled(SweepWorker* worker, bool preview) {
  const struct {
    int generalBit;
    int sweepBit;
    CSweepPage* page;
  } order[] = {
      {GENERAL_SWEEP_INTERNET, SWEEP_INTERNET, m_pInternet},
      {GENERAL_SWEEP_WINDOWS, SWEEP_WINDOWS, m_pWindows},
      {GENERAL_SWEEP_APPLICATIONS, SWEEP_APPLICATIONS, m_pApplications},
  };
  const int targets = g_GeneralSettings.m_nTargets;
  int requested = 0;
  for (const auto& category : order) {
    if ((targets & category.generalBit) == 0) continue;
    if (preview) {
      // A category page's button keeps offering a real sweep.
      worker->RequestPreview(category.sweepBit);
    } else {
      if (category.page != nullptr) category.page->MarkRunning(kCancelSweepCaption);
      worker->RequestSweep(category.sweepBit);
    }
    requested |= category.sweepBit;
  }
  return requested;
}

void CLustraPage::EnableSweepButtons(bool on) {
  m_bSweepButtons = on;
  if (m_hWnd == nullptr) return;
  EnableItem(IDC_SET_SWEEP_NOW, on);
  EnableItem(IDC_SET_PREVIEW, on && !m_pHost->AnySweepRuns());
}

void CLustraPage::ShowBusy() {
  if (m_hWnd == nullptr) return;
  const bool on = m_bSweepButtons && !m_pHost->AnySweepRuns();
  if (IsItemEnabled(IDC_SET_PREVIEW) != on) EnableItem(IDC_SET_PREVIEW, on);
}

void CLustraPage::OnTimer(UINT_PTR id) {
  if (id == kBusyTimer) ShowBusy();
}

void CLustraPage::SweepAll() {
  SweepWorker* worker = m_pHost->Worker();
  if (worker == nullptr) return;
  // The tray's "Cancel Sweeping" reaches a running preview through here.
  if (m_bRunning || m_pHost->IsPreviewing()) {
    // The caption comes back when the last category has ended (the main window).
    WorkerHold hold(worker);
    worker->RequestCancel(SWEEP_ALL);
    return;
  }
  // Another sweep runs that the page did not start (its button waits).
  if (m_pHost->IsSweepingSelected()) return;
  PrepareManualSweep(m_pHost, Sheet(), "\nStart Sweeping everything manually.");
  WorkerHold hold(worker);
  if (RequestEnabled(worker, false) == 0) return;
  m_pHost->SetSweeping(true);
  SetSweepButton(kCancelSweepCaption);
  m_bRunning = true;
  ShowBusy();
  m_pHost->StartTrayAnimation();
  // Only a sweep that started closes the panel; with no category enabled the
  // user is left to enable one.
  if (RunsInBackground() && Sheet() != nullptr) Sheet()->EndDialog(1);
}

bool CLustraPage::StartTimedSweep() {
  if (m_bRunning || m_pHost->IsSweepingSelected()) return false;
  SweepWorker* worker = m_pHost->Worker();
  if (worker == nullptr) return false;
  PrepareManualSweep(m_pHost, Sheet(), nullptr);
  WorkerHold hold(worker);
  if (RequestEnabled(worker, false) == 0) return false;
  SetSweepButton(kCancelSweepCaption);
  m_bRunning = true;
  if (RunsInBackground() && Sheet() != nullptr) Sheet()->EndDialog(1);
  return true;
}

void CLustraPage::Preview() {
  SweepWorker* worker = m_pHost->Worker();
  if (worker == nullptr || m_bRunning || m_pHost->IsSweeping() || worker->IsAnyRunning()) return;
  // The preview is what the user asked to see: the window shows whatever the
  // "always display" option says, and the panel stays open in any case.
  if (m_pHost->MainWindow() != nullptr) {
    m_pHost->PlacePanelForLog();
    m_pHost->ShowProgressWindow();
  }
  ResetProgress();
  SetTitle(kPreviewCaption);
  LogStamped("\nStart previewing everything manually.", 0);
  // What the preview shows must be what "Sweep Now" would sweep, which
  // applies the pages first.
  if (Sheet() != nullptr && Sheet()->GetSafeHwnd() != nullptr) Sheet()->PressButton(PSBTN_APPLYNOW);

  WorkerHold hold(worker);
  if (RequestEnabled(worker, /*preview=*/true) == 0) return;
  m_pHost->BeginPreviewRecords();
  m_pHost->SetSweeping(true);
  m_pHost->SetPreviewing(true);
  EnableSweepButtons(false);
  m_pHost->StartTrayAnimation();
}

void CLustraPage::PreviewEnded() { EnableSweepButtons(true); }

void CLustraPage::SweepEnded() {
  m_bRunning = false;
  SetSweepButton(kSweepNowCaption);
}

void CLustraPage::ShowLastSweep() {
  m_fields.m_tLastSweep = g_GeneralSettings.m_tLastSweep;
  if (m_fields.m_tLastSweep != 0 && m_hWnd != nullptr)
    SetItemText(IDC_SET_LAST_SWEEP, FormatLastSweep(m_fields.m_tLastSweep).c_str());
}
