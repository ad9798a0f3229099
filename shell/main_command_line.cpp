#include "shell/main_command_line.h"

void CMainCommandLineInfo::ParseParam(const char* param, bool flag, bool last) {
  if (flag) {
    // "/report:json": the text after the first colon is the flag's value.
    const std::string text = param;
    const size_t colon = text.find(':');
    if (colon != std::string::npos && colon > 0) {
      m_options[text.substr(0, colon)] = text.substr(colon + 1);
      m_strLastFlag.clear();
    } else {
      m_options[text] = "TRUE";
      m_strLastFlag = text;
    }
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
