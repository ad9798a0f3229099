// LogView: the appending side of the progress window's rich edit log. Text
// arrives in batches; each batch costs one selection, one replace and one
// scroll, whatever the length of the log. Past a cap the oldest whole lines
// are dropped in one cut and a note at the top of the log says how many.
#pragma once
#include <windows.h>

#include <string>

class LogView {
 public:
  // About 1,100 lines of a typical sweep; a cut brings the log down to
  // kKeepChars (about 35 lines) so that cuts stay rare and quick: what is
  // kept is written again into a new control, and a rich edit lays out each
  // line it takes on the GUI thread. A rich
  // edit costs far more per line than its text (tens of KB a line in some
  // implementations): a sweep of 50,000 items would hold gigabytes. The
  // preview table and its saved list name every item; the log shows the
  // latest lines and says how many went.
  static constexpr LONG kCapChars = 120000;
  static constexpr LONG kKeepChars = 4000;

  explicit LogView(LONG capChars = kCapChars, LONG keepChars = kKeepChars);
  // The rich edit control the text goes to; raises its text limit above the
  // cap (a rich edit otherwise holds 32,767 characters).
  void Attach(HWND edit);

  // The control the text goes to now (a cut puts a new one in its place).
  HWND Control() const { return m_hEdit; }
  // Appends text at the end and scrolls to it.
  void Append(const std::string& text);
  // Lines the caller dropped before they reached the view; counted in the note.
  void AddDroppedLines(long lines) { m_nDropped += lines; }
  // Empties the log and forgets the lines dropped so far.
  void Clear();

  // Characters held (a line break counts one).
  LONG Length() const;
  long DroppedLines() const { return m_nDropped; }
  // Line breaks appended since the last Clear, dropped ones included.
  long AppendedLines() const { return m_nAppended; }
  // The whole text, line breaks as "\n" (for tests and the benchmark).
  std::string Text() const;

 private:
  void MakeRoom(LONG incoming, bool everything);
  // Puts a new, empty control of the same kind in the old one's place (its
  // parent, ID, place, size, font and tab order) and destroys the old one;
  // false, with the old one kept, when there is nothing to renew or no new
  // control could be made. Those who hold the control ask its parent by ID.
  bool Renew();

  HWND m_hEdit = nullptr;
  LONG m_nCap, m_nKeep;
  long m_nDropped = 0;
  long m_nAppended = 0;
  bool m_bNoteShown = false;  // the first line is our note about dropped lines
};
