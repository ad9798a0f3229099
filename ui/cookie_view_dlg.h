// CCookieViewDlg: "Cookie View", one cookie file shown read-only.
#pragma once
#include <string>

#include "winlib/dialog.h"

class CCookieViewDlg : public CDialog {
 public:
  explicit CCookieViewDlg(const std::string& path);

  std::string m_strPath;

 protected:
  bool OnInitDialog() override;
};

// Shown, with the path and the system's reason, when a cookie file cannot be
// opened for reading; the view then closes.
std::string CookieOpenFailureText(const std::string& path, DWORD error);
