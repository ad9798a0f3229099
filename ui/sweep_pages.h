// The three category pages of the control panel: "Sweep Windows" with its
// custom sweeping locations, "Sweep Internet" with its friendly cookies, and
// "Sweep Applications".
#pragma once
#include <vector>

#include "settings/page_fields.h"
#include "settings/settings_groups.h"
#include "ui/sweep_page.h"

class CWinTmpPage : public CCategoryPage<WindowsPageFields, WindowsSettings> {
 public:
  explicit CWinTmpPage(PanelHost* host);

  // Button "...": the custom locations dialog edits a copy of the page's
  // list; on OK the copy replaces it and the next apply stores it.
  void OnEditLocations();

 protected:
  bool OnInitDialog() override;
  bool OnExtraCommand(int id) override;

 private:
  void FillLocations();
};

class CInternetPage : public CCategoryPage<InternetPageFields, InternetSettings> {
 public:
  explicit CInternetPage(PanelHost* host);

  // Button "Cookies...": the friendly cookie list is edited and stored at
  // once, whatever becomes of the sheet.
  void OnCookies();

 protected:
  bool OnExtraCommand(int id) override;
};

class CApplicationPage : public CCategoryPage<ApplicationsPageFields, ApplicationSettings> {
 public:
  explicit CApplicationPage(PanelHost* host);
};
