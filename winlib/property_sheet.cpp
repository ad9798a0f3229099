#include "winlib/property_sheet.h"

#include "winlib/trace.h"

namespace {
// The sheet whose PropertySheetA call is under way on this thread: the
// system's callback carries no pointer of ours.
thread_local CPropertySheet* t_pCreating = nullptr;
SheetScript* g_pActiveScript = nullptr;

// The system procedure a subclassed sheet hands its messages on to. Kept on
// the window, so that messages after our object let go still find it.
const char kSuperProp[] = "Morvane.SheetSuper";

// Dialog templates come in two layouts; the style sits at a different place.
DWORD* TemplateStyle(void* dialogTemplate) {
  auto* words = static_cast<WORD*>(dialogTemplate);
  if (words[0] == 1 && words[1] == 0xFFFF) return reinterpret_cast<DWORD*>(words + 6);  // DLGTEMPLATEEX
  return &static_cast<DLGTEMPLATE*>(dialogTemplate)->style;
}
}  // namespace

// --- CPropertyPage --------------------------------------------------------

HWND CPropertyPage::SheetWindow() const { return m_hWnd != nullptr ? ::GetParent(m_hWnd) : nullptr; }

void CPropertyPage::SetModified(bool changed) {
  m_bModified = changed;
  HWND sheet = SheetWindow();
  if (sheet != nullptr)
    ::SendMessageA(sheet, changed ? PSM_CHANGED : PSM_UNCHANGED, reinterpret_cast<WPARAM>(m_hWnd), 0);
}

bool CPropertyPage::OnInitDialog() {
  if (m_bModified) SetModified(true);
  return true;
}

bool CPropertyPage::OnApply() {
  m_bModified = false;
  return true;
}

bool CPropertyPage::OnNotify(NMHDR* header, LRESULT* result) {
  // Only the sheet's own notifications; a control's may use the same codes.
  if (header->hwndFrom != SheetWindow()) return false;
  switch (header->code) {
    case PSN_SETACTIVE:
      *result = OnSetActive() ? 0 : -1;
      return true;
    case PSN_KILLACTIVE:
      *result = OnKillActive() ? FALSE : TRUE;
      return true;
    case PSN_APPLY:
      // lParam of the notice: the sheet closes after the apply (OK).
      if (m_pSheet != nullptr && reinterpret_cast<PSHNOTIFY*>(header)->lParam != 0) m_pSheet->m_nButton = IDOK;
      *result = OnApply() ? PSNRET_NOERROR : PSNRET_INVALID_NOCHANGEPAGE;
      if (*result != PSNRET_NOERROR && m_pSheet != nullptr) m_pSheet->m_nButton = IDCANCEL;
      return true;
    case PSN_RESET:
      if (m_pSheet != nullptr) m_pSheet->m_nButton = IDCANCEL;
      OnReset();
      *result = 0;
      return true;
    case PSN_QUERYCANCEL:
      *result = OnQueryCancel() ? FALSE : TRUE;
      return true;
    default:
      return false;
  }
}

INT_PTR CALLBACK CPropertyPage::PageProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
  if (msg == WM_INITDIALOG) {
    // A page receives its PROPSHEETPAGE, whose lParam carries the object.
    auto* page = reinterpret_cast<CPropertyPage*>(reinterpret_cast<PROPSHEETPAGEA*>(l)->lParam);
    return DialogProc(hwnd, msg, w, reinterpret_cast<LPARAM>(static_cast<CDialog*>(page)));
  }
  return DialogProc(hwnd, msg, w, l);
}

// --- CPropertySheet -------------------------------------------------------

CPropertySheet::CPropertySheet(const char* caption, HWND parent, int startPage)
    : m_strCaption(caption != nullptr ? caption : ""), m_hParent(parent), m_nStartPage(startPage) {}

CPropertySheet::~CPropertySheet() { Close(); }

void CPropertySheet::AddPage(CPropertyPage* page) {
  page->m_pSheet = this;
  m_pages.push_back(page);
}

int CPropertySheet::GetActiveIndex() const {
  if (m_hWnd == nullptr) return -1;
  HWND current = PropSheet_GetCurrentPageHwnd(m_hWnd);
  for (size_t i = 0; i < m_pages.size(); ++i)
    if (current != nullptr && m_pages[i]->m_hWnd == current) return static_cast<int>(i);
  return -1;
}

bool CPropertySheet::SetActivePage(int index) {
  return m_hWnd != nullptr && SendMessage(PSM_SETCURSEL, static_cast<WPARAM>(index), 0) != 0;
}

int CALLBACK CPropertySheet::SheetCallback(HWND hwnd, UINT msg, LPARAM l) {
  CPropertySheet* self = t_pCreating;
  if (self == nullptr) return 0;
  if (msg == PSCB_PRECREATE && l != 0) {
    // Shown only once it is placed (and never in tests); no "?" button.
    DWORD* style = TemplateStyle(reinterpret_cast<void*>(l));
    *style &= ~(WS_VISIBLE | DS_CONTEXTHELP);
  } else if (msg == PSCB_INITIALIZED) {
    self->Subclass(hwnd);
  }
  return 0;
}

void CPropertySheet::Subclass(HWND hwnd) {
  if (m_hWnd == hwnd) return;
  Bind(hwnd);
  m_pfnSuper = reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CPropertySheet::SubclassProc)));
  ::SetPropA(hwnd, kSuperProp, reinterpret_cast<HANDLE>(m_pfnSuper));
}

LRESULT CALLBACK CPropertySheet::SubclassProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
  auto* self = dynamic_cast<CPropertySheet*>(FromHandle(hwnd));
  if (self == nullptr) {
    auto super = reinterpret_cast<WNDPROC>(::GetPropA(hwnd, kSuperProp));
    if (msg == WM_NCDESTROY) ::RemovePropA(hwnd, kSuperProp);
    return super != nullptr ? ::CallWindowProcA(super, hwnd, msg, w, l) : ::DefWindowProcA(hwnd, msg, w, l);
  }
  if (msg == WM_NCDESTROY) ::RemovePropA(hwnd, kSuperProp);
  return self->HandleMessage<LRESULT>("property sheet", msg, [&] { return self->WindowProc(msg, w, l); });
}

LRESULT CPropertySheet::WindowProc(UINT msg, WPARAM w, LPARAM l) {
  switch (msg) {
    case WM_SYSCOMMAND:
      if (OnSysCommand(w, l)) return 0;
      break;
    default:
      break;
  }
  return ::CallWindowProcA(m_pfnSuper, m_hWnd, msg, w, l);
}

bool CPropertySheet::Create(bool show) {
  if (m_hWnd != nullptr) return true;
  INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_TAB_CLASSES | ICC_UPDOWN_CLASS | ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&icc);

  std::vector<PROPSHEETPAGEA> pages(m_pages.size());
  for (size_t i = 0; i < m_pages.size(); ++i) {
    PROPSHEETPAGEA& p = pages[i];
    p.dwSize = sizeof p;
    p.dwFlags = PSP_DEFAULT;
    p.hInstance = ResourceInstance();
    p.pszTemplate = MAKEINTRESOURCEA(m_pages[i]->TemplateId());
    p.pfnDlgProc = &CPropertyPage::PageProc;
    p.lParam = reinterpret_cast<LPARAM>(m_pages[i]);
  }
  PROPSHEETHEADERA header = {};
  header.dwSize = sizeof header;
  header.dwFlags = PSH_PROPSHEETPAGE | PSH_MODELESS | PSH_USECALLBACK | PSH_NOCONTEXTHELP;
  header.hwndParent = m_hParent;
  header.hInstance = ResourceInstance();
  header.pszCaption = m_strCaption.c_str();
  header.nPages = static_cast<UINT>(pages.size());
  header.nStartPage = static_cast<UINT>(m_nStartPage);
  header.ppsp = pages.data();
  header.pfnCallback = &CPropertySheet::SheetCallback;

  m_bEnded = false;
  m_nResult = 0;
  m_nButton = IDCANCEL;
  m_bShow = show;
  CPropertySheet* outer = t_pCreating;
  t_pCreating = this;
  INT_PTR made = ::PropertySheetA(&header);
  t_pCreating = outer;
  HWND hwnd = made == -1 ? nullptr : reinterpret_cast<HWND>(made);
  if (hwnd == nullptr) {
    Trace("PropertySheetA(%s) failed: %lu", m_strCaption.c_str(), ::GetLastError());
    return false;
  }
  Subclass(hwnd);  // in case the system skipped the callback
  // The system may settle its buttons after the first page has marked
  // itself changed: give the marks again now that the sheet is set up.
  for (CPropertyPage* page : m_pages)
    if (page->m_bModified && page->m_hWnd != nullptr) page->SetModified(true);
  OnInitSheet();
  if (m_bShow && m_hWnd != nullptr) ShowWindow(SW_SHOW);
  return m_hWnd != nullptr;
}

INT_PTR CPropertySheet::DoModal() {
  SheetScript* script = g_pActiveScript;
  if (!Create(script == nullptr)) return -1;
  if (script == nullptr) return RunModalLoop();
  ++script->m_nRuns;
  INT_PTR answer = script->m_script(*this);
  INT_PTR result = m_bEnded ? m_nResult : answer;
  Close();
  m_nResult = result;
  return result;
}

INT_PTR CPropertySheet::RunModalLoop() {
  // Like a modal dialog, the sheet takes input from its owner; a hidden
  // owner (the resident program's window) has none to take.
  HWND owner = m_hParent;
  bool reenable = owner != nullptr && ::IsWindowVisible(owner) && ::IsWindowEnabled(owner);
  if (reenable) ::EnableWindow(owner, FALSE);
  MSG msg;
  // OK and Cancel leave the sheet without a current page; EndDialog sets
  // m_bEnded and posts a message so that the wait below returns.
  while (!m_bEnded && m_hWnd != nullptr && PropSheet_GetCurrentPageHwnd(m_hWnd) != nullptr) {
    BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
    if (got == 0) {
      ::PostQuitMessage(static_cast<int>(msg.wParam));  // for the loop that owns it
      break;
    }
    if (got == -1) break;
    if (m_hWnd != nullptr && PropSheet_IsDialogMessage(m_hWnd, &msg)) continue;
    if (PreTranslateDialogMessage(&msg)) continue;
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
  INT_PTR result = m_bEnded ? m_nResult : m_nButton;
  if (reenable) ::EnableWindow(owner, TRUE);
  Close();
  m_nResult = result;
  return result;
}

void CPropertySheet::EndDialog(INT_PTR result) {
  m_bEnded = true;
  m_nResult = result;
  if (m_hWnd != nullptr) PostMessage(WM_NULL);
}

void CPropertySheet::Close() {
  if (m_hWnd == nullptr) return;
  ::DestroyWindow(m_hWnd);  // WM_NCDESTROY lets go of the handle
  if (m_hWnd != nullptr) {
    Unbind();
    m_hWnd = nullptr;
  }
}

// --- SheetScript -----------------------------------------------------------

SheetScript::SheetScript(Script script) : m_script(std::move(script)), m_previous(g_pActiveScript) {
  g_pActiveScript = this;
}

SheetScript::~SheetScript() { g_pActiveScript = m_previous; }
