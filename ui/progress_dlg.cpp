#include "ui/progress_dlg.h"

#include <commctrl.h>

#include "res/resource.h"
#include "winlib/time_format.h"
#include "winlib/trace.h"

CProgressDlg* g_pProgressDlg = nullptr;

namespace {
// Posted by a writer when the queue turns non-empty; at most one is on its way.
constexpr UINT WM_PROGRESS_DRAIN = WM_APP + 0x31;
constexpr UINT_PTR kDrainTimerId = 0x4D31;
// The GUI thread writing into its own window (the final sweep runs there)
// applies its queue itself once this much text is waiting.
constexpr size_t kSelfDrainBytes = 256 * 1024;
// Log text applied per drain: about fifty lines. When writers are ahead,
// the rest follows in the next drain, by timer, so input and painting get
// their turn between chunks. A rich edit lays out every line it takes (a
// drain of 96 KB kept the window from answering for over half a second at
// 50,000 items under Wine): a chunk must stay well inside the 200 ms a
// window may take to answer.
constexpr size_t kDrainChunkBytes = 6 * 1024;

const int kStatusIds[] = {IDC_STATUS_WINDOWS, IDC_STATUS_INTERNET, IDC_STATUS_APPLICATIONS, IDC_TOTALS};
const int kBarIds[] = {IDC_PROGRESS_WINDOWS, IDC_PROGRESS_INTERNET, IDC_PROGRESS_APPLICATIONS};
const int kButtonIds[] = {IDC_DETAILS, IDC_CLOSE_PROGRESS, IDC_CLEAR_LOG};

ControlPanelLocator g_panelLocator = nullptr;

int Height(const RECT& r) { return r.bottom - r.top; }
int Width(const RECT& r) { return r.right - r.left; }

// Rich edit 2.0 registers its window classes when its DLL loads; the dialog
// template names one of them. The DLL stays loaded for the process.
bool LoadRichEdit() {
  static HMODULE module = ::LoadLibraryA("riched20.dll");
  if (module == nullptr) Trace("LoadLibraryA(riched20.dll) failed: %lu", ::GetLastError());
  return module != nullptr;
}

// Drops the oldest whole lines of a queue that grew past its cap, down to
// half of it; returns how many lines went.
long TrimQueue(std::string& log, size_t cap) {
  if (log.size() <= cap) return 0;
  size_t at = log.find('\n', log.size() - cap / 2);
  size_t cut = at == std::string::npos ? log.size() : at + 1;
  long lines = 0;
  for (size_t i = 0; i < cut; ++i)
    if (log[i] == '\n') ++lines;
  log.erase(0, cut);
  return lines;
}
}  // namespace

void SetControlPanelLocator(ControlPanelLocator locator) { g_panelLocator = locator; }

HWND OpenControlPanel() {
  if (g_panelLocator == nullptr) return nullptr;
  HWND panel = g_panelLocator();
  return panel != nullptr && ::IsWindow(panel) ? panel : nullptr;
}

CProgressDlg::CProgressDlg() : CDialog(IDD_PROGRESS) {
  ::InitializeCriticalSection(&m_queueLock);
  m_hIcon = ::LoadIconA(ResourceInstance(), MAKEINTRESOURCEA(IDI_MAINFRAME));
}

CProgressDlg::~CProgressDlg() {
  if (CurrentProgressSink() == this) DetachProgressSink();
  m_hPostTarget = nullptr;
  if (m_hWnd != nullptr) DestroyWindow();
  ::DeleteCriticalSection(&m_queueLock);
}

bool CProgressDlg::Create(HWND parent) {
  INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_PROGRESS_CLASS};
  ::InitCommonControlsEx(&icc);
  if (!LoadRichEdit() || !CDialog::Create(parent)) return false;
  m_hPostTarget = m_hWnd;
  AttachProgressSink(this);
  return true;
}

bool CProgressDlg::OnInitDialog() {
  SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
  SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
  for (int id : kStatusIds) CWnd::SetItemText(id, kWaitingText);
  m_rcLog = GetItemRect(IDC_SWEEP_LOG);
  ShowItem(IDC_SWEEP_LOG, false);
  m_log.Attach(GetItem(IDC_SWEEP_LOG));
  for (int id : kBarIds) {
    SendItemMessage(id, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    SendItemMessage(id, PBM_SETPOS, 0);
  }
  bool keepFocus = true;
  if (HWND panel = OpenControlPanel()) {
    PlaceBesidePanel(panel);
    ::SetFocus(panel);
    m_bVisible = 1;
    keepFocus = false;
  } else {
    CenterWindow();
  }
  m_bDetails = 0;
  ToggleDetails();  // starts with the log shown
  return keepFocus;
}

void CProgressDlg::PlaceBesidePanel(HWND panel) {
  RECT r = {};
  ::GetWindowRect(panel, &r);
  SetWindowPos(nullptr, r.right, r.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_SHOWWINDOW);
}

void CProgressDlg::Show() {
  if (HWND panel = OpenControlPanel()) {
    PlaceBesidePanel(panel);
  } else {
    ShowWindow(SW_SHOW);
  }
  m_bVisible = 1;
}

void CProgressDlg::Hide() {
  ShowWindow(SW_HIDE);
  m_bVisible = 0;
}

bool CProgressDlg::OnCommand(int id, int code, HWND control) {
  if (code == BN_CLICKED) {
    switch (id) {
      case IDC_DETAILS:
        ToggleDetails();
        return true;
      case IDC_CLEAR_LOG:
        ClearLog();
        return true;
      case IDC_CLOSE_PROGRESS:
        Hide();
        return true;
      default:
        break;
    }
  }
  return CDialog::OnCommand(id, code, control);
}

void CProgressDlg::OnCancel() {
  CDialog::OnCancel();  // hides the modeless window
  m_bVisible = 0;       // Escape too: the tray menu must not offer to hide a hidden window
}

bool CProgressDlg::OnClose() {
  m_bVisible = 0;
  return false;  // the system turns it into Cancel, which hides
}

void CProgressDlg::ToggleDetails() {
  const RECT& L = m_rcLog;
  RECT B = GetItemRect(IDC_DETAILS);
  RECT W = GetWindowRect();
  const UINT sizeOnly = SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE;
  int sign;
  if (m_bDetails) {
    SetWindowPos(nullptr, 0, 0, Width(W), Height(W) - Height(L) - Height(B) / 2, sizeOnly);
    // Out of the way but still as wide as when shown: a rich edit of zero
    // width wraps every line into a column of rows, which makes each line
    // appended while folded several times dearer.
    MoveItem(IDC_SWEEP_LOG, RECT{0, 0, Width(L), Height(L)});
    ShowItem(IDC_SWEEP_LOG, false);
    CWnd::SetItemText(IDC_DETAILS, "Details");
    sign = -1;
    m_bDetails = 0;
  } else {
    CWnd::SetItemText(IDC_DETAILS, "Hide Details");
    SetWindowPos(nullptr, 0, 0, Width(W), Height(W) + Height(L) + Height(B) / 2, sizeOnly);
    MoveItem(IDC_SWEEP_LOG, RECT{B.left, B.top, B.left + Width(L), B.top + Height(L)});
    ShowItem(IDC_SWEEP_LOG, true);
    ::SendMessageA(GetItem(IDC_SWEEP_LOG), WM_VSCROLL, SB_BOTTOM, 0);
    sign = 1;
    m_bDetails = 1;
  }
  for (int id : kButtonIds) {
    RECT r = GetItemRect(id);
    int dy = sign * (Height(L) + Height(r) / 2);
    ::SetWindowPos(GetItem(id), nullptr, r.left, r.top + dy, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  ::InvalidateRect(m_hWnd, nullptr, TRUE);
}

void CProgressDlg::ClearLog() {
  CDialog confirm(IDD_CLEAR_LOG);
  if (confirm.DoModal(m_hWnd) != IDOK) return;
  {
    // Lines queued before the clear go with the rest of the log.
    ::EnterCriticalSection(&m_queueLock);
    m_pending = Pending();
    ::LeaveCriticalSection(&m_queueLock);
  }
  m_log.Clear();
  char format[256] = {};
  ::LoadStringA(ResourceInstance(), IDS_LOG_START, format, sizeof format);
  m_log.Append(FormatLocalTime(format).substr(0, 255));
  ResetDisplay();
}

void CProgressDlg::ResetDisplay() {
  for (int id : kStatusIds) CWnd::SetItemText(id, kWaitingText);
  for (int id : kBarIds) {
    SendItemMessage(id, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    SendItemMessage(id, PBM_SETPOS, 0);
  }
  SetWindowText(kProgressCaption);
  TimedLockGuard hold(m_lock, TimedLockGuard::kPatient);
  m_nTotalItems = 0;
  m_fTotalKB = 0.0f;
}

void CProgressDlg::LogStartLine() {
  char format[256] = {};
  ::LoadStringA(ResourceInstance(), IDS_LOG_START, format, sizeof format);
  AppendLog(FormatLocalTime(format).substr(0, 255).c_str());
}

// --- the queue --------------------------------------------------------------

bool CProgressDlg::NeedDrainPost() {
  if (m_bDrainPosted || m_hPostTarget == nullptr) return false;
  m_bDrainPosted = true;
  return true;
}

void CProgressDlg::PostDrain() {
  if (::PostMessageA(m_hPostTarget, WM_PROGRESS_DRAIN, 0, 0)) return;
  // A full message queue: let the next write ask again.
  ::EnterCriticalSection(&m_queueLock);
  m_bDrainPosted = false;
  ::LeaveCriticalSection(&m_queueLock);
}

void CProgressDlg::AppendLog(const char* text) {
  bool post, selfDrain;
  ::EnterCriticalSection(&m_queueLock);
  m_pending.log += text;
  m_pending.droppedLines += TrimQueue(m_pending.log, kQueueCapBytes);
  post = NeedDrainPost();
  selfDrain = m_pending.log.size() >= kSelfDrainBytes && ::GetCurrentThreadId() ==
                                                             ::GetWindowThreadProcessId(m_hPostTarget, nullptr);
  ::LeaveCriticalSection(&m_queueLock);
  if (post) PostDrain();
  if (selfDrain) Drain();
}

void CProgressDlg::SetItemText(int id, const char* text) {
  // A status line shows the line without its line end: a static control
  // draws "\n" as a box.
  std::string shown = text != nullptr ? text : "";
  while (!shown.empty() && (shown.back() == '\n' || shown.back() == '\r')) shown.pop_back();
  ::EnterCriticalSection(&m_queueLock);
  m_pending.texts[id] = std::move(shown);
  bool post = NeedDrainPost();
  ::LeaveCriticalSection(&m_queueLock);
  if (post) PostDrain();
}

bool CProgressDlg::HasItem(int id) const { return m_hPostTarget != nullptr && ::GetDlgItem(m_hPostTarget, id); }

void CProgressDlg::SetBarRange(int id, int low, int high) {
  ::EnterCriticalSection(&m_queueLock);
  m_pending.ranges[id] = {low, high};
  bool post = NeedDrainPost();
  ::LeaveCriticalSection(&m_queueLock);
  if (post) PostDrain();
}

void CProgressDlg::SetBarPos(int id, unsigned pos) {
  ::EnterCriticalSection(&m_queueLock);
  m_pending.positions[id] = pos;
  bool post = NeedDrainPost();
  ::LeaveCriticalSection(&m_queueLock);
  if (post) PostDrain();
}

void CProgressDlg::SetCaption(const char* text) {
  ::EnterCriticalSection(&m_queueLock);
  m_pending.hasCaption = true;
  m_pending.caption = text;
  bool post = NeedDrainPost();
  ::LeaveCriticalSection(&m_queueLock);
  if (post) PostDrain();
}

bool CProgressDlg::OnMessage(UINT msg, WPARAM w, LPARAM l, INT_PTR* result) {
  if (msg != WM_PROGRESS_DRAIN) return false;
  // Batches of at least kDrainIntervalMs: a drain per line would cost a
  // rich edit update per line.
  DWORD since = ::GetTickCount() - m_nLastDrain;
  if (since >= kDrainIntervalMs) {
    Drain();
  } else {
    ArmDrainTimer(kDrainIntervalMs - since);
  }
  *result = TRUE;
  return true;
}

void CProgressDlg::ArmDrainTimer(UINT ms) {
  // A timer message comes only when no posted message and no painting is
  // waiting, so the window stays responsive however far behind the log is.
  m_bDrainTimer = SetTimer(kDrainTimerId, ms) != 0;
  if (!m_bDrainTimer) {
    ::EnterCriticalSection(&m_queueLock);
    m_bDrainPosted = false;  // let the next write ask again
    ::LeaveCriticalSection(&m_queueLock);
  }
}

void CProgressDlg::OnTimer(UINT_PTR id) {
  if (id != kDrainTimerId) return;
  KillTimer(kDrainTimerId);
  m_bDrainTimer = false;
  Drain();
}

void CProgressDlg::Flush() {
  // What is queued now, not what writers add meanwhile: they may never stop.
  ::EnterCriticalSection(&m_queueLock);
  size_t chunks = m_pending.log.size() / kDrainChunkBytes + 1;
  ::LeaveCriticalSection(&m_queueLock);
  while (chunks-- > 0) Drain();
}

void CProgressDlg::Drain() {
  if (m_hWnd == nullptr) return;
  Pending batch;
  ::EnterCriticalSection(&m_queueLock);
  if (m_pending.log.size() <= kDrainChunkBytes) {
    std::swap(batch, m_pending);
  } else {
    // Whole lines only: up to the first line break past the chunk size.
    size_t at = m_pending.log.find('\n', kDrainChunkBytes - 1);
    size_t cut = at == std::string::npos ? m_pending.log.size() : at + 1;
    batch.log.assign(m_pending.log, 0, cut);
    m_pending.log.erase(0, cut);
    std::swap(batch.texts, m_pending.texts);
    std::swap(batch.ranges, m_pending.ranges);
    std::swap(batch.positions, m_pending.positions);
    std::swap(batch.hasCaption, m_pending.hasCaption);
    std::swap(batch.caption, m_pending.caption);
    std::swap(batch.droppedLines, m_pending.droppedLines);
  }
  bool more = !m_pending.log.empty();
  m_bDrainPosted = more;  // the rest follows by timer: writers need not ask
  ::LeaveCriticalSection(&m_queueLock);
  m_nLastDrain = ::GetTickCount();
  if (more) ArmDrainTimer(USER_TIMER_MINIMUM);

  for (const auto& t : batch.texts) CWnd::SetItemText(t.first, t.second.c_str());
  for (const auto& r : batch.ranges)
    SendItemMessage(r.first, PBM_SETRANGE, 0, MAKELPARAM(r.second.first, r.second.second));
  for (const auto& p : batch.positions) SendItemMessage(p.first, PBM_SETPOS, p.second);
  if (batch.hasCaption) SetWindowText(batch.caption.c_str());
  if (batch.droppedLines > 0) m_log.AddDroppedLines(batch.droppedLines);
  if (!batch.log.empty() || batch.droppedLines > 0) m_log.Append(batch.log);
}

// --- the one window ----------------------------------------------------------

CProgressDlg* CreateProgressWindow(HWND parent, bool show) {
  if (g_pProgressDlg != nullptr) return g_pProgressDlg;
  auto* dlg = new CProgressDlg;
  if (!dlg->Create(parent)) {
    delete dlg;
    return nullptr;
  }
  g_pProgressDlg = dlg;
  if (show) {
    dlg->Show();
  } else {
    dlg->Hide();
  }
  dlg->LogStartLine();
  return dlg;
}

void DestroyProgressWindow() {
  CProgressDlg* dlg = g_pProgressDlg;
  if (dlg == nullptr) return;
  g_pProgressDlg = nullptr;
  // First no log call may reach the window any more; only then it goes.
  if (CurrentProgressSink() == dlg) DetachProgressSink();
  delete dlg;
}
