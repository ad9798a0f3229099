// The progress window: a bar and a status line per category, the totals
// line and the rich edit log. It is the sweep log's sink. Category threads
// never touch its controls: what they write is queued under a short lock and
// the GUI thread applies the queue in batches, so a worker never waits for
// the GUI thread and the cost of a line does not grow with the log.
#pragma once
#include <windows.h>

#include <map>
#include <string>
#include <utility>

#include "engine/sweep_log.h"
#include "ui/log_view.h"
#include "winlib/dialog.h"

class CProgressDlg : public CDialog, public ProgressSink {
 public:
  CProgressDlg();
  ~CProgressDlg() override;

  // Modeless, owned by parent. Attaches the window to the sweep log.
  bool Create(HWND parent);

  // Beside the control panel when it is open, else where it is.
  void Show();
  void Hide();
  // Folds the log away or brings it back, resizing the window.
  void ToggleDetails();
  // Asks for confirmation, then empties the log and resets the display.
  void ClearLog();
  // Applies everything queued so far (GUI thread only).
  void Flush();
  // Appends the start line: string 1025 with the current time.
  void LogStartLine();

  // ProgressSink: any thread; these only queue.
  void AppendLog(const char* text) override;
  void SetItemText(int id, const char* text) override;
  bool HasItem(int id) const override;
  void SetBarRange(int id, int low, int high) override;
  void SetBarPos(int id, unsigned pos) override;
  void SetCaption(const char* text) override;

  const LogView& Log() const { return m_log; }

  int m_bDetails = 0;  // 1 while the log is shown
  int m_bVisible = 0;  // 1 after Show, 0 after Hide or a close
  HICON m_hIcon = nullptr;

  // Bytes of log text the queue may hold before it drops its oldest lines
  // (the GUI thread is not keeping up; the log could not hold more anyway).
  static constexpr size_t kQueueCapBytes = LogView::kCapChars;
  // The queue is applied at most this often.
  static constexpr DWORD kDrainIntervalMs = 100;

 protected:
  bool OnInitDialog() override;
  bool OnCommand(int id, int code, HWND control) override;
  void OnCancel() override;
  bool OnClose() override;
  void OnTimer(UINT_PTR id) override;
  bool OnMessage(UINT msg, WPARAM w, LPARAM l, INT_PTR* result) override;

 private:
  // What the workers wrote since the last drain. Status texts, bars and the
  // caption keep only their latest value; the log keeps every line in order.
  struct Pending {
    std::string log;
    long droppedLines = 0;
    std::map<int, std::string> texts;
    std::map<int, std::pair<int, int>> ranges;
    std::map<int, unsigned> positions;
    bool hasCaption = false;
    std::string caption;
  };

  // Call with m_queueLock held: asks the GUI thread for a drain unless one
  // is on its way; returns true when the caller must post it.
  bool NeedDrainPost();
  void PostDrain();
  void ArmDrainTimer(UINT ms);
  void Drain();
  void ResetDisplay();
  void PlaceBesidePanel(HWND panel);

  CRITICAL_SECTION m_queueLock;
  Pending m_pending;
  bool m_bDrainPosted = false;
  HWND m_hPostTarget = nullptr;  // read by workers; set before attaching, cleared after detaching
  DWORD m_nLastDrain = 0;
  bool m_bDrainTimer = false;
  RECT m_rcLog = {};  // the log's rectangle in the resource, client coordinates
  LogView m_log;
};

// The one progress window; null while none exists. GUI thread only: the
// sweep log reaches the window through its own sink slot.
extern CProgressDlg* g_pProgressDlg;

// Creates the progress window owned by parent, shown or hidden, and writes
// the start line. Returns it (also in g_pProgressDlg), or null on failure.
CProgressDlg* CreateProgressWindow(HWND parent, bool show);
// Detaches the window from the sweep log (waiting only for log calls already
// inside it, which never wait for this thread), then destroys and deletes it.
void DestroyProgressWindow();

// The control panel, when open: its window. Until the panel exists nobody
// installs a locator and the answer is "not open".
using ControlPanelLocator = HWND (*)();
void SetControlPanelLocator(ControlPanelLocator locator);
HWND OpenControlPanel();
