// CLustraPage: the control panel's "Settings" page. Which categories a whole
// sweep covers, when sweeps run (every H hours M minutes, at shutdown, at
// start-up), the options, and "Sweep Now", which starts a whole sweep or
// cancels the one running.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include "settings/page_fields.h"
#include "winlib/property_sheet.h"

class PanelHost;
class CSweepPage;
class SweepWorker;

class CLustraPage : public CPropertyPage {
 public:
  explicit CLustraPage(PanelHost* host);

  // The category pages whose buttons and flags a whole sweep sets.
  void SetSweepPages(CSweepPage* internet, CSweepPage* windows, CSweepPage* applications);

  // "Sweep Now" (also the tray's "Sweep Now" and "Cancel Sweeping" while the
  // panel is open): starts a sweep of the enabled categories, or cancels
  // every category while one started here runs.
  void SweepAll();
  // The sweep timer fired while the panel is open. False when a sweep started
  // here still runs or no category is enabled; the caller then owns the rest
  // (the application's flag, the tray animation).
  bool StartTimedSweep();
  // The whole sweep ended: "Sweep Now" again.
  void SweepEnded();
  // "Preview": the enabled categories run as a preview into the progress
  // window, titled "Preview"; "Sweep Now" and "Preview" wait until it ends.
  // Nothing happens while any category runs: the preview would miss it.
  void Preview();
  // The preview ended: both buttons are offered again.
  void PreviewEnded();
  // A sweep of entries chosen in the preview table started: "Sweep Now" and
  // "Preview" wait until it ends (PreviewEnded).
  void SelectedSweepStarted() { EnableSweepButtons(false); }
  // "Preview" is offered only while no sweep runs, whoever started it (a
  // timer asks the host as long as the page exists).
  void ShowBusy();
  // Takes the General group's last sweep time and shows it.
  void ShowLastSweep();
  bool IsRunning() const { return m_bRunning; }

  SettingsPageFields m_fields;
  bool m_bTimerChanged = false;
  bool m_bAutoStartChanged = false;

 protected:
  bool OnInitDialog() override;
  bool OnCommand(int id, int code, HWND control) override;
  bool OnNotify(NMHDR* header, LRESULT* result) override;
  bool OnApply() override;
  void OnTimer(UINT_PTR id) override;
  // The sheet was cancelled: the page shows the stored values next time.
  void OnCancel() override;

 private:
  // Greys what an administrator's policy fixes and shows the note saying so.
  void LockFixedSettings();
  void OnEvery();
  void OnSweepAtExitOrStartup(int id);
  void ShowInterval(bool show);
  void OnHoursSpin(NMUPDOWN* change);
  void OnMinutesSpin(NMUPDOWN* change);
  void OnIntervalTyped(int editId);
  // Puts a two-digit number into an interval edit without taking it for typing.
  void PutNumber(int editId, int value);
  void SetSweepButton(const char* caption);
  void EnableSweepButtons(bool on);
  bool m_bSweepButtons = true;  // what EnableSweepButtons last said
  // Requests every enabled category, marking its page (a preview marks
  // none); the caller holds the worker's lock. Returns the bits requested.
  int RequestEnabled(SweepWorker* worker, bool preview);
  int Hours() const { return (m_fields.m_nSeconds / 3600) % 24; }
  int Minutes() const { return (m_fields.m_nSeconds / 60) % 60; }

  PanelHost* m_pHost;
  CSweepPage* m_pInternet = nullptr;
  CSweepPage* m_pWindows = nullptr;
  CSweepPage* m_pApplications = nullptr;
  bool m_bRunning = false;
  bool m_bFilling = false;  // an interval edit is being set by the page itself
 public:
  // The tip of "Browser closes" that says what it sweeps (for tests).
  HWND BrowserCloseTip() const { return m_hBrowserCloseTip; }

 private:
  void AddBrowserCloseTip();
  HWND m_hBrowserCloseTip = nullptr;
};
