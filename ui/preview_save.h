// Saving the preview table's list: where to (the system's save dialog) and
// whether an existing file may be replaced (asked by Morvane itself, since
// not every dialog asks).
#pragma once
#include <windows.h>

#include <string>

// The file the user chose for the list, or "" when cancelled. The dialog
// of today's systems (IFileSaveDialog) where there is one, the old one
// otherwise (and while a FileDialogScript drives dialogs); both start in
// the user's Documents folder with a .csv name.
std::wstring AskListPath(HWND owner, const wchar_t* suggestedName);

// True when path may be written: it does not exist, or the user agreed to
// replace it (the message box answers Yes).
bool MayWriteList(HWND owner, const std::wstring& path);

// Writes bytes to path, replacing what is there; false when it could not.
bool WriteWholeFile(const std::wstring& path, const std::string& bytes);

// UTF-8 of a wide text and back; ANSI (the process's code page) to wide.
std::string Utf8Of(const std::wstring& text);
std::wstring WideOfAnsi(const std::string& text);
