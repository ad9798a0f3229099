#include "ui/preview_save.h"

#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>

#include "winlib/file_dialog.h"
#include "winlib/platform_calls.h"
#include "winlib/unique_handle.h"

namespace {

std::wstring DocumentsFolder() {
  wchar_t path[MAX_PATH] = {};
  if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, path))) return std::wstring();
  return path;
}

// The dialog of today's systems; false when the system has none (the old one
// then asks), with path empty when the user cancelled.
bool AskWithItemDialog(HWND owner, const wchar_t* suggestedName, std::wstring& path) {
  const HRESULT init = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  const bool uninit = SUCCEEDED(init);
  IFileSaveDialog* dialog = nullptr;
  bool shown = false;
  if (SUCCEEDED(::CoCreateInstance(CLSID_FileSaveDialog, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&dialog)))) {
    const COMDLG_FILTERSPEC types[] = {{L"CSV files (*.csv)", L"*.csv"}, {L"All files (*.*)", L"*.*"}};
    dialog->SetFileTypes(2, types);
    dialog->SetDefaultExtension(L"csv");
    dialog->SetFileName(suggestedName);
    FILEOPENDIALOGOPTIONS options = 0;
    dialog->GetOptions(&options);
    // Replacing is asked by the caller, whatever the dialog does.
    dialog->SetOptions((options & ~FOS_OVERWRITEPROMPT) | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST);
    const std::wstring documents = DocumentsFolder();
    IShellItem* folder = nullptr;
    if (!documents.empty() &&
        SUCCEEDED(::SHCreateItemFromParsingName(documents.c_str(), nullptr, IID_PPV_ARGS(&folder)))) {
      dialog->SetFolder(folder);
      folder->Release();
    }
    shown = true;
    if (SUCCEEDED(dialog->Show(owner))) {
      IShellItem* result = nullptr;
      if (SUCCEEDED(dialog->GetResult(&result))) {
        wchar_t* name = nullptr;
        if (SUCCEEDED(result->GetDisplayName(SIGDN_FILESYSPATH, &name)) && name != nullptr) {
          path = name;
          ::CoTaskMemFree(name);
        }
        result->Release();
      }
    }
    dialog->Release();
  }
  if (uninit) ::CoUninitialize();
  return shown;
}

std::wstring AskWithOldDialog(HWND owner, const wchar_t* suggestedName) {
  const std::string name = Utf8Of(suggestedName);  // the suggested names are ASCII
  CFileDialog dialog(false, "csv", name.c_str(), OFN_PATHMUSTEXIST | OFN_HIDEREADONLY,
                     "CSV Files (*.csv)|*.csv|All Files (*.*)|*.*||", owner);
  char documents[MAX_PATH] = {};
  if (SUCCEEDED(::SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, documents)))
    dialog.m_ofn.lpstrInitialDir = documents;
  if (dialog.DoModal() != IDOK) return std::wstring();
  return WideOfAnsi(dialog.GetPathName());
}

}  // namespace

std::string Utf8Of(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                      nullptr);
  std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0)
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
  return out;
}

std::wstring WideOfAnsi(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int n = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
  return out;
}

std::wstring AskListPath(HWND owner, const wchar_t* suggestedName) {
  std::wstring path;
  if (!FileDialogScript::Active() && AskWithItemDialog(owner, suggestedName, path)) return path;
  return AskWithOldDialog(owner, suggestedName);
}

bool MayWriteList(HWND owner, const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return true;
  const std::string text = Utf8Of(path);
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    g_platform.MessageBoxA(owner, (text + " is a folder. Choose a file name.").c_str(), "Morvane",
                           MB_OK | MB_ICONWARNING);
    return false;
  }
  // ANSI message box: a name outside the code page shows with '?', which
  // is still the file the user picked.
  const std::wstring wide = path;
  char ansi[MAX_PATH * 2] = {};
  ::WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, ansi, sizeof ansi - 1, nullptr, nullptr);
  const std::string question = std::string(ansi) + " already exists.\nDo you want to replace it?";
  return g_platform.MessageBoxA(owner, question.c_str(), "Confirm Save As",
                                MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES;
}

bool WriteWholeFile(const std::wstring& path, const std::string& bytes) {
  ScopedFile file(
      ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.IsValid()) return false;
  size_t at = 0;
  while (at < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - at, 1u << 20));
    DWORD written = 0;
    if (!::WriteFile(file.Get(), bytes.data() + at, chunk, &written, nullptr) || written == 0) return false;
    at += written;
  }
  return true;
}
