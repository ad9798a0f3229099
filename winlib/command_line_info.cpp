#include "winlib/command_line_info.h"

#include <windows.h>

namespace {
bool IsBlank(char c) { return c == ' ' || c == '\t'; }
}  // namespace

void CommandLineInfo::ParseParam(const char* param, bool flag, bool last) {
  if (flag)
    ParseFlag(param);
  else
    ParseNotFlag(param);
  if (last) {
    if (m_nShellCommand == FileNew && !m_strFileName.empty()) m_nShellCommand = FileOpen;
    m_bShowSplash = !m_bRunEmbedded && !m_bRunAutomated;
  }
}

void CommandLineInfo::ParseFlag(const char* param) {
  if (::lstrcmpA(param, "pt") == 0) {
    m_nShellCommand = FilePrintTo;
  } else if (::lstrcmpA(param, "p") == 0) {
    m_nShellCommand = FilePrint;
  } else if (::lstrcmpiA(param, "Register") == 0 || ::lstrcmpiA(param, "Regserver") == 0) {
    m_nShellCommand = AppRegister;
  } else if (::lstrcmpiA(param, "Unregister") == 0 || ::lstrcmpiA(param, "Unregserver") == 0) {
    m_nShellCommand = AppUnregister;
  } else if (::lstrcmpA(param, "dde") == 0) {
    m_nShellCommand = FileDDE;
  } else if (::lstrcmpiA(param, "Embedding") == 0) {
    m_bRunEmbedded = true;
    m_bShowSplash = false;
  } else if (::lstrcmpiA(param, "Automation") == 0) {
    m_bRunAutomated = true;
    m_bShowSplash = false;
  }
}

void CommandLineInfo::ParseNotFlag(const char* param) {
  if (m_strFileName.empty())
    m_strFileName = param;
  else if (m_nShellCommand == FilePrintTo && m_strPrinterName.empty())
    m_strPrinterName = param;
  else if (m_nShellCommand == FilePrintTo && m_strDriverName.empty())
    m_strDriverName = param;
  else if (m_nShellCommand == FilePrintTo && m_strPortName.empty())
    m_strPortName = param;
}

std::vector<std::string> SplitCommandLine(const char* commandLine) {
  std::vector<std::string> args;
  if (commandLine == nullptr) return args;
  const char* p = commandLine;

  // The program name: quotes group, backslashes are plain characters.
  std::string program;
  if (*p == '"') {
    for (++p; *p != '\0' && *p != '"'; ++p) program += *p;
    if (*p == '"') ++p;
  } else {
    for (; *p != '\0' && !IsBlank(*p); ++p) program += *p;
  }
  args.push_back(program);

  for (;;) {
    while (IsBlank(*p)) ++p;
    if (*p == '\0') break;
    std::string arg;
    bool quoted = false;
    for (; *p != '\0' && (quoted || !IsBlank(*p)); ++p) {
      if (*p == '\\') {
        size_t slashes = 0;
        while (*p == '\\') {
          ++slashes;
          ++p;
        }
        if (*p == '"') {
          arg.append(slashes / 2, '\\');
          if (slashes % 2 == 1) {
            arg += '"';
            continue;
          }
          --p;  // the quote is handled by the next round
        } else {
          arg.append(slashes, '\\');
          --p;
        }
      } else if (*p == '"') {
        if (quoted && p[1] == '"') {
          arg += '"';  // "" inside quotes: a literal quote
          ++p;
        } else {
          quoted = !quoted;
        }
      } else {
        arg += *p;
      }
    }
    args.push_back(arg);
  }
  return args;
}

void ParseCommandLine(const char* commandLine, CommandLineInfo& info) {
  const std::vector<std::string> args = SplitCommandLine(commandLine);
  for (size_t i = 1; i < args.size(); ++i) {
    const char* param = args[i].c_str();
    const bool flag = param[0] == '/' || param[0] == '-';
    if (flag) ++param;
    info.ParseParam(param, flag, i + 1 == args.size());
  }
}
