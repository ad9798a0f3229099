#include "winlib/time_format.h"

#include <cstdio>

const char kStampFormat[] = " @ %H:%M - %b %d %Y\n";

namespace {
const char* const kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                               "July",    "August",   "September", "October", "November", "December"};
const char* const kDays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

void AppendNumber(std::string& out, int value, int width) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%0*d", width, value);
  out += buf;
}
}  // namespace

std::string FormatTime(const char* format, const SYSTEMTIME& t) {
  std::string out;
  for (const char* p = format; *p; ++p) {
    if (*p != '%' || p[1] == '\0') {
      out += *p;
      continue;
    }
    const int month = (t.wMonth >= 1 && t.wMonth <= 12) ? t.wMonth - 1 : 0;
    switch (*++p) {
      case 'H': AppendNumber(out, t.wHour, 2); break;
      case 'M': AppendNumber(out, t.wMinute, 2); break;
      case 'S': AppendNumber(out, t.wSecond, 2); break;
      case 'd': AppendNumber(out, t.wDay, 2); break;
      case 'm': AppendNumber(out, t.wMonth, 2); break;
      case 'Y': AppendNumber(out, t.wYear, 4); break;
      case 'y': AppendNumber(out, t.wYear % 100, 2); break;
      case 'b': out.append(kMonths[month], 3); break;
      case 'B': out += kMonths[month]; break;
      case 'a': out.append(kDays[t.wDayOfWeek % 7], 3); break;
      case '%': out += '%'; break;
      default:
        out += '%';
        out += *p;
        break;
    }
  }
  return out;
}

std::string FormatLocalTime(const char* format) {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  return FormatTime(format, now);
}
