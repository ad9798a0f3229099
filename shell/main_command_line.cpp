#include "shell/main_command_line.h"

void CMainCommandLineInfo::ParseParam(const char* param, bool flag, bool last) {
  if (flag) {
    m_options[param] = "TRUE";
    m_strLastFlag = param;
  } else if (!m_strLastFlag.empty()) {
    m_options[m_strLastFlag] = param;
    m_strLastFlag.clear();
  }
  CommandLineInfo::ParseParam(param, flag, last);
}

std::string CMainCommandLineInfo::Option(const std::string& name) const {
  auto it = m_options.find(name);
  return it != m_options.end() ? it->second : std::string();
}
