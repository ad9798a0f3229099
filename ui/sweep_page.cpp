#include "ui/sweep_page.h"

#include "engine/sweep_log.h"
#include "engine/sweep_worker.h"
#include "ui/panel_host.h"

const char kCancelSweepCaption[] = "Cancel Sweep";

void CSweepPage::MarkRunning(const char* caption) {
  m_bRunning = true;
  SetButtonCaption(caption);
}

void CSweepPage::SweepEnded() {
  m_bRunning = false;
  SetButtonCaption(m_info.idleCaption);
}

void CSweepPage::SetButtonCaption(const char* caption) {
  if (m_hWnd != nullptr) SetItemText(m_info.buttonId, caption);
}

void CSweepPage::ShowLastSweepLabel() {
  int when = LastSweep();
  if (when != 0 && m_hWnd != nullptr) SetItemText(m_info.labelId, FormatLastSweep(when).c_str());
}

bool CSweepPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  ExchangeTargets(false);
  LockFixedTargets();
  // A category requested from the Settings page before this page was first
  // shown may not have its thread yet: the request counts as running too.
  SweepWorker* worker = m_pHost->Worker();
  m_bRunning = m_bRunning || (worker != nullptr && worker->IsRunning(m_info.category));
  SetButtonCaption(m_bRunning ? kCancelSweepCaption : m_info.idleCaption);
  ShowLastSweepLabel();
  return true;
}

bool CSweepPage::OnCommand(int id, int code, HWND control) {
  if (code != BN_CLICKED) return false;
  if (id == m_info.buttonId) {
    OnSweepButton();
    return true;
  }
  if (id == m_info.logId) {
    PostShowProgress(m_pHost);
    return true;
  }
  if (IsTargetCheck(id)) {
    SetModified();
    return true;
  }
  return OnExtraCommand(id);
}

bool CSweepPage::OnApply() {
  if (m_hWnd != nullptr) ExchangeTargets(true);
  StoreFields();
  return CPropertyPage::OnApply();
}

void CSweepPage::OnSweepButton() {
  SweepWorker* worker = m_pHost->Worker();
  if (worker == nullptr) return;
  if (m_bRunning) {
    // The caption comes back when the category has ended (the main window).
    WorkerHold hold(worker);
    worker->RequestCancel(m_info.bit);
    return;
  }
  // A preview or a sweep of chosen entries keeps its records for the table:
  // a sweep of this category beside it, or queued behind it, would mix in.
  if (m_pHost->IsPreviewing() || m_pHost->IsSweepingSelected()) {
    ::MessageBeep(MB_ICONWARNING);
    return;
  }
  PrepareManualSweep(m_pHost, Sheet(), m_info.startLine);
  WorkerHold hold(worker);
  MarkRunning(m_info.startedCaption);
  worker->RequestSweep(m_info.bit);
  if (RunsInBackground() && Sheet() != nullptr) Sheet()->EndDialog(1);
  if (m_pHost->MainWindow() != nullptr) m_pHost->StartTrayAnimation();
}
