// Morvane's command line: every flag is recorded as an option ("/once" stores
// "TRUE" under "once"), and a plain word right after a flag becomes that
// flag's value, as does the text after a colon in the flag itself
// ("/report:json" stores "json" under "report"). The standard flags keep
// their meaning.
#pragma once
#include <map>
#include <string>

#include "winlib/command_line_info.h"

class CMainCommandLineInfo : public CommandLineInfo {
 public:
  void ParseParam(const char* param, bool flag, bool last) override;

  // Names are looked up with exact case: "/ONCE" is not "once".
  bool HasOption(const std::string& name) const { return m_options.count(name) != 0; }
  std::string Option(const std::string& name) const;

  std::map<std::string, std::string> m_options;
  std::string m_strLastFlag;  // the last flag still waiting for a value
};
