#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "winlib/format_line.h"
#include "winlib/time_format.h"

TEST(FormatLine, FormatsWhatFits) {
  char buf[64];
  int n = FormatLine(buf, sizeof buf, "   Item %d, Remove file: %s, size %.3f(KB).\n", 3, "C:\\a", 2.5);
  EXPECT_STREQ(buf, "   Item 3, Remove file: C:\\a, size 2.500(KB).\n");
  EXPECT_EQ(n, (int)std::strlen(buf));
}

TEST(FormatLine, OverflowGivesTheErrorTextWithTheFormatOrTheShortOne) {
  char buf[60];
  std::string longArg(100, 'x');
  FormatLine(buf, sizeof buf, "Path %s", longArg.c_str());
  EXPECT_STREQ(buf, "Error: Buffer is not enough. Format: Path %s\n");

  char small[40];
  std::string longFormat = std::string(30, 'f') + "%s";
  FormatLine(small, sizeof small, longFormat.c_str(), longArg.c_str());
  EXPECT_STREQ(small, "Error: Buffer is not enough.\n");

  // Smaller than the short text itself: cut, but always terminated.
  char tiny[10];
  std::memset(tiny, '#', sizeof tiny);
  int n = FormatLine(tiny, sizeof tiny, "%s", longArg.c_str());
  EXPECT_STREQ(tiny, "Error: Bu");
  EXPECT_EQ(n, 9);
}

TEST(FormatLine, ATextOfExactlyTheBufferSizeIsAnOverflowNotAnUnterminatedLine) {
  char buf[8];
  std::memset(buf, '#', sizeof buf);
  FormatLine(buf, sizeof buf, "%s", "12345678");
  EXPECT_EQ(std::memchr(buf, '\0', sizeof buf) != nullptr, true);
  EXPECT_EQ(std::string(buf).find("12345678"), std::string::npos);
}

TEST(TimeFormat, StampUsesEnglishMonthsAndZeroPadding) {
  SYSTEMTIME t = {};
  t.wYear = 2026;
  t.wMonth = 3;
  t.wDay = 7;
  t.wHour = 9;
  t.wMinute = 5;
  EXPECT_EQ(FormatTime(kStampFormat, t), " @ 09:05 - Mar 07 2026\n");
  t.wMonth = 12;
  t.wDay = 25;
  t.wHour = 23;
  t.wMinute = 59;
  EXPECT_EQ(FormatTime("Start logging working messages  -- %H:%M %b/%d/%Y\n", t),
            "Start logging working messages  -- 23:59 Dec/25/2026\n");
  EXPECT_EQ(FormatTime("100%% %q", t), "100% %q");
}
