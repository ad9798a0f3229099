// CommandLineInfo: the program's command line split into parameters and
// handed one by one to ParseParam, with the standard flags every Windows
// application understands (print, DDE, OLE registration, embedding,
// automation). Programs derive from it to add flags of their own.
#pragma once
#include <string>
#include <vector>

class CommandLineInfo {
 public:
  enum ShellCommand {
    FileNew,
    FileOpen,
    FilePrint,
    FilePrintTo,
    FileDDE,
    AppRegister,
    AppUnregister,
  };

  virtual ~CommandLineInfo() = default;

  // One parameter. A flag arrives without its leading slash or hyphen; `last`
  // is set for the final parameter of the line.
  virtual void ParseParam(const char* param, bool flag, bool last);

  bool m_bShowSplash = true;
  bool m_bRunEmbedded = false;   // "/Embedding": started by OLE as a server
  bool m_bRunAutomated = false;  // "/Automation"
  ShellCommand m_nShellCommand = FileNew;
  std::string m_strFileName;
  std::string m_strPrinterName, m_strDriverName, m_strPortName;

 private:
  void ParseFlag(const char* param);
  void ParseNotFlag(const char* param);
};

// Splits a command line the way the C runtime builds argv: blanks separate,
// double quotes group, backslashes escape a quote only when they precede one.
// The first element is the program name.
std::vector<std::string> SplitCommandLine(const char* commandLine);

// Feeds every parameter after the program name to info.ParseParam, marking
// those that begin with '/' or '-' as flags (without that character).
void ParseCommandLine(const char* commandLine, CommandLineInfo& info);
