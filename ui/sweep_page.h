// CSweepPage: what the three category pages of the control panel have in
// common: the target check boxes bound to the page's fields, the button that
// sweeps the category alone (or cancels it), the "Last Sweeping Time" label
// and the "Log" button. CCategoryPage binds it to one settings group.
#pragma once
#include <windows.h>

#include "settings/page_fields.h"
#include "ui/panel_actions.h"
#include "winlib/property_sheet.h"

class PanelHost;

// What tells the category pages apart.
struct SweepPageInfo {
  int category;                // SweepCategory
  int bit;                     // its request and cancel bit
  int buttonId;                // the sweep button
  const char* idleCaption;     // the button while the category does not run
  const char* startedCaption;  // after the button itself started the sweep
  const char* startLine;       // logged with a time stamp when the button starts a sweep
  int labelId;                 // "Last Sweeping Time: "
  int logId;                   // "Log"
};

// The button's text while a sweep started elsewhere (or before the page
// opened) runs.
extern const char kCancelSweepCaption[];  // "Cancel Sweep"

class CSweepPage : public CPropertyPage {
 public:
  CSweepPage(int templateId, const SweepPageInfo& info, PanelHost* host)
      : CPropertyPage(templateId), m_info(info), m_pHost(host) {}

  const SweepPageInfo& Info() const { return m_info; }
  bool IsRunning() const { return m_bRunning; }

  // The Settings page's "Sweep Now" requested this category.
  void MarkRunning(const char* caption);
  // The category ended: the button offers to sweep again.
  void SweepEnded();
  // Takes the group's last sweep time into the page and shows it when the
  // page has a window.
  virtual void ShowLastSweep() = 0;
  // The sweep button: starts the category alone, or cancels it while it runs.
  void OnSweepButton();

 protected:
  bool OnInitDialog() override;
  bool OnCommand(int id, int code, HWND control) override;
  bool OnApply() override;

  virtual void ExchangeTargets(bool save) = 0;
  // Greys the target boxes an administrator's policy fixes.
  virtual void LockFixedTargets() = 0;
  virtual bool IsTargetCheck(int id) const = 0;
  // FromPage into the group (which saves it).
  virtual void StoreFields() = 0;
  virtual int LastSweep() const = 0;
  // The page's own buttons; true when handled.
  virtual bool OnExtraCommand(int id) { return false; }

  void ShowLastSweepLabel();
  void SetButtonCaption(const char* caption);

  SweepPageInfo m_info;
  PanelHost* m_pHost;
  bool m_bRunning = false;
};

// A category page over its settings group (WindowsSettings with
// WindowsPageFields, and so on). The fields are filled when the page is made.
template <class Fields, class Group>
class CCategoryPage : public CSweepPage {
 public:
  CCategoryPage(int templateId, const SweepPageInfo& info, PanelHost* host, Group& group,
                CheckBindings<Fields> checks)
      : CSweepPage(templateId, info, host), m_group(group), m_checks(checks) {
    m_group.ToPage(m_fields);
  }

  void ShowLastSweep() override {
    m_fields.m_tLastSweep = m_group.m_tLastSweep;
    ShowLastSweepLabel();
  }

  Fields m_fields;

 protected:
  void ExchangeTargets(bool save) override { ExchangeChecks(*this, m_checks, m_fields, save); }
  void LockFixedTargets() override {
    for (const auto& c : m_checks)
      if (m_group.IsFixed("Targets", static_cast<unsigned>(c.bit))) EnableItem(c.controlId, false);
  }
  bool IsTargetCheck(int id) const override { return IsBoundCheck(m_checks, id); }
  void StoreFields() override { m_group.FromPage(m_fields); }
  int LastSweep() const override { return m_fields.m_tLastSweep; }

  Group& m_group;
  CheckBindings<Fields> m_checks;
};
