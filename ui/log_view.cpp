#include "ui/log_view.h"

#include <richedit.h>

#include <algorithm>
#include <vector>

#include "winlib/format_line.h"

namespace {
// Characters a text becomes in the control: the ANSI code page's conversion,
// with "\r\n" taken as one line break, as the rich edit stores it.
LONG ControlChars(const char* text, size_t len) {
  if (len == 0) return 0;
  int wide = ::MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(len), nullptr, 0);
  LONG pairs = 0;
  for (size_t i = 0; i + 1 < len; ++i)
    if (text[i] == '\r' && text[i + 1] == '\n') ++pairs;
  return static_cast<LONG>(wide) - pairs;
}

long CountBreaks(const char* text, size_t len) {
  long lines = 0;
  for (size_t i = 0; i < len; ++i) {
    if (text[i] == '\n') ++lines;
    else if (text[i] == '\r' && (i + 1 == len || text[i + 1] != '\n')) ++lines;
  }
  return lines;
}

void Select(HWND edit, LONG from, LONG to) {
  CHARRANGE range = {from, to};
  ::SendMessageA(edit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
}

void ReplaceSelection(HWND edit, const char* text) {
  ::SendMessageA(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
}

// The control's characters [0, count) as UTF-16, which indexes like the control.
std::wstring HeadText(HWND edit, LONG count) {
  Select(edit, 0, count);
  std::vector<wchar_t> buf(static_cast<size_t>(count) + 1);
  GETTEXTEX get = {};
  get.cb = static_cast<DWORD>(buf.size() * sizeof(wchar_t));
  get.flags = GT_SELECTION;
  get.codepage = 1200;  // UTF-16
  LRESULT got = ::SendMessageA(edit, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&get), reinterpret_cast<LPARAM>(buf.data()));
  return std::wstring(buf.data(), got > 0 ? static_cast<size_t>(got) : 0);
}
// The control's whole text as UTF-16, without touching the selection
// (selecting a long text costs as much as changing it in some implementations).
std::wstring AllText(HWND edit, LONG count) {
  std::vector<wchar_t> buf(static_cast<size_t>(count) + 1);
  GETTEXTEX get = {};
  get.cb = static_cast<DWORD>(buf.size() * sizeof(wchar_t));
  get.flags = GT_DEFAULT;
  get.codepage = 1200;  // UTF-16
  LRESULT got = ::SendMessageA(edit, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&get), reinterpret_cast<LPARAM>(buf.data()));
  return std::wstring(buf.data(), got > 0 ? static_cast<size_t>(got) : 0);
}
}  // namespace

LogView::LogView(LONG capChars, LONG keepChars) : m_nCap(capChars), m_nKeep(std::min(keepChars, capChars)) {}

void LogView::Attach(HWND edit) {
  m_hEdit = edit;
  // Headroom above the cap: a miscount must never make the control refuse text.
  ::SendMessageA(edit, EM_EXLIMITTEXT, 0, static_cast<LPARAM>(m_nCap) * 2 + 65536);
}

LONG LogView::Length() const {
  GETTEXTLENGTHEX how = {GTL_NUMCHARS, 1200};
  LRESULT len = ::SendMessageA(m_hEdit, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&how), 0);
  return len > 0 ? static_cast<LONG>(len) : 0;
}

std::string LogView::Text() const {
  LONG len = Length();
  std::wstring wide = HeadText(m_hEdit, len);
  LONG end = Length();
  Select(m_hEdit, end, end);
  int bytes = ::WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<size_t>(bytes), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), &text[0], bytes, nullptr, nullptr);
  std::replace(text.begin(), text.end(), '\r', '\n');
  return text;
}

void LogView::Clear() {
  // An empty control is a new one: emptying a long log in place takes
  // seconds in some rich edit implementations, destroying it milliseconds.
  if (!Renew()) {
    Select(m_hEdit, 0, -1);
    ReplaceSelection(m_hEdit, "");
  }
  m_nDropped = 0;
  m_nAppended = 0;
  m_bNoteShown = false;
}

bool LogView::Renew() {
  HWND old = m_hEdit;
  if (old == nullptr || Length() == 0) return false;
  HWND parent = (::GetWindowLongA(old, GWL_STYLE) & WS_CHILD) ? ::GetParent(old) : nullptr;
  char cls[64] = {};
  ::GetClassNameA(old, cls, sizeof cls);
  RECT r = {};
  ::GetWindowRect(old, &r);
  if (parent != nullptr) ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  const DWORD style = static_cast<DWORD>(::GetWindowLongA(old, GWL_STYLE));
  HWND fresh = ::CreateWindowExA(static_cast<DWORD>(::GetWindowLongA(old, GWL_EXSTYLE)), cls, "", style, r.left, r.top,
                                 r.right - r.left, r.bottom - r.top, parent,
                                 parent != nullptr ? reinterpret_cast<HMENU>(static_cast<INT_PTR>(::GetDlgCtrlID(old)))
                                                   : nullptr,
                                 reinterpret_cast<HINSTANCE>(::GetWindowLongPtrA(old, GWLP_HINSTANCE)), nullptr);
  if (fresh == nullptr) return false;
  // The dialog's font, as the dialog gave it to the first control (scaled
  // with the display): a rich edit does not always answer WM_GETFONT with
  // the font it was given.
  HFONT font = parent != nullptr ? reinterpret_cast<HFONT>(::SendMessageA(parent, WM_GETFONT, 0, 0)) : nullptr;
  if (font == nullptr) font = reinterpret_cast<HFONT>(::SendMessageA(old, WM_GETFONT, 0, 0));
  if (font != nullptr) ::SendMessageA(fresh, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  ::SendMessageA(fresh, EM_SETEVENTMASK, 0, ::SendMessageA(old, EM_GETEVENTMASK, 0, 0));
  // Its place among its siblings (the tab order) is the old one's.
  ::SetWindowPos(fresh, old, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  const bool focused = ::GetFocus() == old;
  ::DestroyWindow(old);
  if (focused) ::SetFocus(fresh);
  Attach(fresh);
  return true;
}

void LogView::MakeRoom(LONG incoming, bool everything) {
  LONG len = Length();
  bool noteStale = m_nDropped > 0;  // lines were dropped that the note does not count yet
  if (!everything && len + incoming <= m_nCap && !(noteStale && !m_bNoteShown)) return;
  char note[160];
  if (!everything && len + incoming <= m_nCap) {
    // Only the note changes: it replaces the old one, or goes on top.
    LONG noteEnd = 0;
    if (m_bNoteShown) {
      std::wstring head = HeadText(m_hEdit, std::min<LONG>(len, 512));
      size_t at = head.find_first_of(L"\r\n");
      noteEnd = at == std::wstring::npos ? 0 : static_cast<LONG>(at) + 1;
    }
    FormatLine(note, sizeof note, "--- %ld earlier lines were removed: the log keeps only the latest lines ---\n",
               m_nDropped);
    Select(m_hEdit, 0, noteEnd);
    ReplaceSelection(m_hEdit, note);
    m_bNoteShown = true;
    return;
  }
  // Cut whole lines from the top: up to the first line break at or after
  // the point that leaves room, taking the old note with them.
  const std::wstring text = AllText(m_hEdit, len);
  LONG want = everything ? len : std::min(len, len + incoming - m_nKeep);
  if (want <= 0) want = 1;
  size_t at = text.find_first_of(L"\r\n", static_cast<size_t>(want - 1));
  const LONG cut = at == std::wstring::npos ? len : static_cast<LONG>(at) + 1;
  long removed = 0;
  for (LONG i = 0; i < cut && i < static_cast<LONG>(text.size()); ++i)
    if (text[i] == L'\r' || text[i] == L'\n') ++removed;
  if (cut == len && len > 0 && static_cast<LONG>(text.size()) >= len && text[len - 1] != L'\r' &&
      text[len - 1] != L'\n')
    ++removed;  // a last line without its break goes too
  if (m_bNoteShown && removed > 0) --removed;
  m_nDropped += removed;
  FormatLine(note, sizeof note, "--- %ld earlier lines were removed: the log keeps only the latest lines ---\n",
             m_nDropped);
  // The lines kept go into a new control with the note: removing lines from
  // a rich edit costs far more than writing them (a second for a thousand
  // lines in some implementations), destroying the control next to nothing.
  const std::wstring kept = cut < static_cast<LONG>(text.size()) ? text.substr(static_cast<size_t>(cut)) : L"";
  if (Renew()) {
    std::string bytes;
    if (!kept.empty()) {
      const int n = ::WideCharToMultiByte(CP_ACP, 0, kept.data(), static_cast<int>(kept.size()), nullptr, 0, nullptr,
                                          nullptr);
      bytes.resize(static_cast<size_t>(n));
      ::WideCharToMultiByte(CP_ACP, 0, kept.data(), static_cast<int>(kept.size()), &bytes[0], n, nullptr, nullptr);
    }
    Select(m_hEdit, 0, 0);
    ReplaceSelection(m_hEdit, (std::string(note) + bytes).c_str());
  } else {
    Select(m_hEdit, 0, cut);
    ReplaceSelection(m_hEdit, note);
  }
  m_bNoteShown = true;
}

void LogView::Append(const std::string& text) {
  if (m_hEdit == nullptr || text.empty()) return;
  const char* data = text.data();
  size_t size = text.size();
  m_nAppended += CountBreaks(data, size);
  LONG incoming = ControlChars(data, size);
  // Only a batch larger than the log may hold loses lines of its own.
  bool cutBatch = incoming > m_nCap;
  if (cutBatch) {
    // A batch larger than the log may hold: only its latest lines are kept.
    size_t from = size - static_cast<size_t>(m_nKeep);  // bytes >= characters, so the rest fits
    size_t at = text.find('\n', from);
    size_t start = at == std::string::npos ? size : at + 1;
    m_nDropped += CountBreaks(data, start);
    data += start;
    size -= start;
    incoming = ControlChars(data, size);
  }
  // Lines cut from the batch are newer than all the log holds: it all goes.
  MakeRoom(incoming, cutBatch);
  LONG end = Length();
  Select(m_hEdit, end, end);
  std::string tail(data, size);
  // Drawn once, when the GUI thread next paints, not line by line while the
  // text goes in and scrolls.
  const bool shown = ::IsWindowVisible(m_hEdit) != FALSE;
  if (shown) ::SendMessageA(m_hEdit, WM_SETREDRAW, FALSE, 0);
  ReplaceSelection(m_hEdit, tail.c_str());
  ::SendMessageA(m_hEdit, WM_VSCROLL, SB_BOTTOM, 0);
  if (shown) {
    ::SendMessageA(m_hEdit, WM_SETREDRAW, TRUE, 0);
    // The frame too: the scroll bar is drawn there, and with redraw off it
    // was not. Erased: lines moved up leave no trace.
    ::RedrawWindow(m_hEdit, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_ERASE);
  }
}
