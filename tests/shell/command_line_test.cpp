#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/main_command_line.h"

namespace {
CMainCommandLineInfo Parse(const char* line) {
  CMainCommandLineInfo info;
  ParseCommandLine(line, info);
  return info;
}
}  // namespace

TEST(CommandLine, FlagsStoreTrueAndAFollowingWordBecomesTheValue) {
  CMainCommandLineInfo once = Parse("Morvane.exe /once");
  EXPECT_TRUE(once.HasOption("once"));
  EXPECT_EQ(once.Option("once"), "TRUE");

  CMainCommandLineInfo word = Parse("Morvane.exe -once word /report");
  EXPECT_EQ(word.Option("once"), "word");
  EXPECT_EQ(word.Option("report"), "TRUE");
  EXPECT_EQ(word.m_strLastFlag, "report");

  // A word goes to the last flag only; a second word has no flag left.
  CMainCommandLineInfo two = Parse("Morvane.exe /a /b x y");
  EXPECT_EQ(two.Option("a"), "TRUE");
  EXPECT_EQ(two.Option("b"), "x");
  EXPECT_EQ(two.m_options.size(), 2u);

  CMainCommandLineInfo plain = Parse("Morvane.exe once");
  EXPECT_FALSE(plain.HasOption("once"));
  EXPECT_EQ(plain.m_strFileName, "once");
}

TEST(CommandLine, AColonGivesAFlagItsValue) {
  struct Case {
    const char* line;
    const char* name;
    const char* value;
  } cases[] = {
      {"Morvane.exe /once /report:json", "report", "json"},
      {"Morvane.exe -report:json /once", "report", "json"},
      {"Morvane.exe /report:json:x", "report", "json:x"},  // only the first colon splits
      {"Morvane.exe /report: /once", "report", ""},
      {"Morvane.exe /report json", "report", "json"},
  };
  for (const Case& c : cases) {
    CMainCommandLineInfo info = Parse(c.line);
    EXPECT_TRUE(info.HasOption(c.name)) << c.line;
    EXPECT_EQ(info.Option(c.name), c.value) << c.line;
    EXPECT_TRUE(info.HasOption("once") || std::string(c.line).find("once") == std::string::npos) << c.line;
  }
  // A flag with a colon takes no following word: the word stays a file name.
  CMainCommandLineInfo word = Parse("Morvane.exe /report:json extra");
  EXPECT_EQ(word.Option("report"), "json");
  EXPECT_EQ(word.m_strFileName, "extra");
  // A leading colon names no option.
  EXPECT_TRUE(Parse("Morvane.exe /:json").HasOption(":json"));
}

TEST(CommandLine, OptionNamesAreCaseExact) {
  CMainCommandLineInfo info = Parse("Morvane.exe /ONCE /Report");
  EXPECT_FALSE(info.HasOption("once"));
  EXPECT_TRUE(info.HasOption("ONCE"));
  EXPECT_FALSE(info.HasOption("report"));
}

TEST(CommandLine, StandardFlagsKeepTheirMeaning) {
  CMainCommandLineInfo embedded = Parse("Morvane.exe /Embedding");
  EXPECT_TRUE(embedded.m_bRunEmbedded);
  EXPECT_FALSE(embedded.m_bShowSplash);
  EXPECT_TRUE(embedded.HasOption("Embedding"));
  EXPECT_TRUE(Parse("Morvane.exe -automation").m_bRunAutomated);

  CMainCommandLineInfo printTo = Parse("Morvane.exe /pt file.txt printer driver port");
  EXPECT_EQ(printTo.m_nShellCommand, CommandLineInfo::FilePrintTo);
  EXPECT_EQ(printTo.m_strFileName, "file.txt");
  EXPECT_EQ(printTo.m_strPrinterName, "printer");
  EXPECT_EQ(printTo.m_strPortName, "port");
  EXPECT_EQ(printTo.Option("pt"), "file.txt");

  CMainCommandLineInfo open = Parse("Morvane.exe doc.txt");
  EXPECT_EQ(open.m_nShellCommand, CommandLineInfo::FileOpen);
  EXPECT_EQ(Parse("Morvane.exe /once").m_nShellCommand, CommandLineInfo::FileNew);
}

TEST(CommandLine, SplitsLikeTheRuntime) {
  using V = std::vector<std::string>;
  EXPECT_EQ(SplitCommandLine("\"C:\\Program Files\\Morvane\\Morvane.exe\" /once"),
            (V{"C:\\Program Files\\Morvane\\Morvane.exe", "/once"}));
  EXPECT_EQ(SplitCommandLine("prog  a\t\"b c\"  d\"e f\"g"), (V{"prog", "a", "b c", "de fg"}));
  // Backslashes are literal unless they precede a quote.
  EXPECT_EQ(SplitCommandLine("prog C:\\dir\\ \"C:\\dir\\\\\" a\\\"b \"x\"\"y\""),
            (V{"prog", "C:\\dir\\", "C:\\dir\\", "a\"b", "x\"y"}));
  EXPECT_EQ(SplitCommandLine("prog \"\""), (V{"prog", ""}));
  EXPECT_EQ(SplitCommandLine(""), (V{""}));

  CMainCommandLineInfo quoted = Parse("\"C:\\My Tools\\Morvane.exe\" /once \"two words\"");
  EXPECT_EQ(quoted.Option("once"), "two words");
}
