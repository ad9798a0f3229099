// CMoreTargetsPage: the control panel's "More Targets" page. A virtual
// report list of the rule entries (built-in and community) with check boxes,
// a heading row per category, a filter edit, "Show entries for programs not
// found", "All" and "None", and at the bottom the counts and the folder for
// the user's own rule files. Apply stores the changed ticks in the Rules key.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <string>

#include "ui/rule_list_model.h"
#include "winlib/property_sheet.h"

class RuleSet;

class CMoreTargetsPage : public CPropertyPage {
 public:
  // rules: null takes the program's rule set when the page is first shown.
  explicit CMoreTargetsPage(RuleSet* rules = nullptr);
  ~CMoreTargetsPage() override;

  // Ticks or clears the entry of a row; an entry with a warning is turned on
  // only when the user says Yes to it.
  void ToggleRow(size_t row);
  // "All" and "None": the applying entries shown. Entries with a warning
  // are asked about together, once.
  void TickAllShown(bool on);
  // Types into the filter edit (as a user would) when the page has a window.
  void SetFilterText(const char* text);

  // The rule set the page shows, when set before the page is first shown.
  void SetRules(RuleSet* rules) { m_pRules = rules; }
  RuleListModel* Model() { return m_pModel.get(); }
  HWND List() const;

  // %APPDATA%\Morvane\Rules, spelled out; empty when there is no AppData.
  static std::string UserRulesFolder();

 protected:
  bool OnInitDialog() override;
  bool OnCommand(int id, int code, HWND control) override;
  bool OnNotify(NMHDR* header, LRESULT* result) override;
  bool OnApply() override;
  void OnCancel() override;

 private:
  void Refill();
  void ShowCounts();
  void OnGetDispInfo(NMLVDISPINFOA* info);
  LRESULT OnCustomDraw(NMLVCUSTOMDRAW* draw);
  void OnClick(NMITEMACTIVATE* click);
  void OpenRulesFolder();
  void InvalidateRow(size_t row);
  bool ConfirmWarning(const std::string& text);

  RuleSet* m_pRules;
  std::unique_ptr<RuleListModel> m_pModel;
  HFONT m_hBold = nullptr;
  std::string m_text;  // the text handed to the list for the last row asked
};
