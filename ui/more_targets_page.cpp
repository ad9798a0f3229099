#include "ui/more_targets_page.h"

#include <shlobj.h>

#include <cstdio>

#include "res/resource.h"
#include "rules/rule_set.h"
#include "settings/rule_choices.h"
#include "ui/tick_list.h"
#include "winlib/platform_calls.h"

namespace {

const char kCaption[] = "Morvane";
// How many warnings "All" spells out before it only counts the rest.
constexpr size_t kWarningsNamed = 4;

// "4,067": counts of thousands read better with a separator.
std::string Grouped(size_t n) {
  std::string digits = std::to_string(n);
  for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) digits.insert(static_cast<size_t>(at), ",");
  return digits;
}

}  // namespace

CMoreTargetsPage::CMoreTargetsPage(RuleSet* rules) : CPropertyPage(IDD_MORE_TARGETS_PAGE), m_pRules(rules) {}

CMoreTargetsPage::~CMoreTargetsPage() {
  if (m_hBold != nullptr) ::DeleteObject(m_hBold);
}

HWND CMoreTargetsPage::List() const { return GetItem(IDC_MORE_LIST); }

std::string CMoreTargetsPage::UserRulesFolder() {
  char appData[MAX_PATH] = {};
  if (FAILED(::SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData)) || appData[0] == 0)
    return std::string();
  return std::string(appData) + "\\Morvane\\Rules";
}

bool CMoreTargetsPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  if (m_pRules == nullptr) m_pRules = &ProgramRules();
  m_pModel.reset(new RuleListModel(*m_pRules));

  HWND list = List();
  ListView_SetExtendedListViewStyle(list, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
  // The list keeps no state of its own: the page answers for the check boxes too.
  ListView_SetCallbackMask(list, LVIS_STATEIMAGEMASK);
  RECT client = {};
  ::GetClientRect(list, &client);
  const int width = client.right - client.left - ::GetSystemMetrics(SM_CXVSCROLL);
  const struct {
    const char* title;
    int share;  // of the width, in percent
  } columns[] = {{"Name", 56}, {"Group", 24}, {"Source", 20}};
  for (int i = 0; i < 3; ++i) {
    LVCOLUMNA column = {};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.pszText = const_cast<char*>(columns[i].title);
    column.cx = width * columns[i].share / 100;
    column.iSubItem = i;
    ::SendMessageA(list, LVM_INSERTCOLUMNA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&column));
  }
  LOGFONTA font = {};
  HFONT listFont = reinterpret_cast<HFONT>(::SendMessageA(list, WM_GETFONT, 0, 0));
  if (listFont != nullptr && ::GetObjectA(listFont, sizeof font, &font) != 0) {
    font.lfWeight = FW_BOLD;
    m_hBold = ::CreateFontIndirectA(&font);
  }

  SetCheck(IDC_MORE_SHOW_ALL, BST_UNCHECKED);
  SendItemMessage(IDC_MORE_FILTER, EM_LIMITTEXT, 200);
  const std::string folder = UserRulesFolder();
  SetItemText(IDC_MORE_FOLDER, ("Your own rule files: " + (folder.empty() ? "%APPDATA%\\Morvane\\Rules" : folder)).c_str());
  EnableItem(IDC_MORE_OPEN_FOLDER, !folder.empty());
  ShowCounts();
  Refill();
  return true;
}

void CMoreTargetsPage::ShowCounts() {
  const size_t total = m_pModel->EntryCount();
  const size_t refused = m_pModel->RefusedWhole();
  std::string line = Grouped(total - refused) + " entries loaded, " + Grouped(refused) + " refused";
  if (m_pModel->WithRefusedKeys() != 0)
    line += " (" + Grouped(m_pModel->WithRefusedKeys()) + " loaded with keys refused)";
  line += ".";
  SetItemText(IDC_MORE_COUNTS, line.c_str());
}

void CMoreTargetsPage::Refill() {
  HWND list = List();
  ::SendMessageA(list, LVM_SETITEMCOUNT, m_pModel->RowCount(), LVSICF_NOINVALIDATEALL);
  ::InvalidateRect(list, nullptr, FALSE);
  const bool any = !m_pModel->TickableRows().empty();
  EnableItem(IDC_MORE_ALL, any);
  EnableItem(IDC_MORE_NONE, any);
}

void CMoreTargetsPage::InvalidateRow(size_t row) {
  ::SendMessageA(List(), LVM_REDRAWITEMS, row, row);
}

void CMoreTargetsPage::SetFilterText(const char* text) {
  if (m_hWnd != nullptr) SetItemText(IDC_MORE_FILTER, text);  // EN_CHANGE does the rest
}

bool CMoreTargetsPage::ConfirmWarning(const std::string& text) {
  return g_platform.MessageBoxA(SheetWindow(), text.c_str(), kCaption, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) ==
         IDYES;
}

void CMoreTargetsPage::ToggleRow(size_t row) {
  if (m_pModel == nullptr || !m_pModel->CanTick(row)) return;
  const bool on = !m_pModel->TickedAt(row);
  const RuleEntry* entry = m_pModel->EntryAt(row);
  if (on && !entry->warning.empty() &&
      !ConfirmWarning(entry->name + "\n\n" + entry->warning + "\n\nTurn this entry on?"))
    return;
  m_pModel->SetTickedAt(row, on);
  InvalidateRow(row);
  SetModified();
}

void CMoreTargetsPage::TickAllShown(bool on) {
  if (m_pModel == nullptr) return;
  std::vector<size_t> warned;
  bool changed = false;
  for (size_t row : m_pModel->TickableRows()) {
    if (m_pModel->TickedAt(row) == on) continue;
    if (on && !m_pModel->EntryAt(row)->warning.empty()) {
      warned.push_back(row);
      continue;
    }
    m_pModel->SetTickedAt(row, on);
    changed = true;
  }
  if (!warned.empty()) {
    std::string text = Grouped(warned.size()) + (warned.size() == 1 ? " entry carries" : " entries carry") +
                       " a warning:\n";
    for (size_t i = 0; i < warned.size() && i < kWarningsNamed; ++i) {
      const RuleEntry* entry = m_pModel->EntryAt(warned[i]);
      text += "\n" + entry->name + ": " + entry->warning + "\n";
    }
    if (warned.size() > kWarningsNamed) text += "\n... and " + Grouped(warned.size() - kWarningsNamed) + " more.\n";
    text += "\nTurn these on as well?";
    if (ConfirmWarning(text)) {
      for (size_t row : warned) m_pModel->SetTickedAt(row, true);
      changed = true;
    }
  }
  ::InvalidateRect(List(), nullptr, FALSE);
  if (changed) SetModified();
}

void CMoreTargetsPage::OpenRulesFolder() {
  const std::string folder = UserRulesFolder();
  if (folder.empty()) return;
  // The folder is made on first use, so that the user has somewhere to put a file.
  ::CreateDirectoryA(folder.substr(0, folder.rfind('\\')).c_str(), nullptr);
  ::CreateDirectoryA(folder.c_str(), nullptr);
  SHELLEXECUTEINFOA info = {};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOASYNC;
  info.hwnd = SheetWindow();
  info.lpVerb = "open";
  info.lpFile = folder.c_str();
  info.nShow = SW_SHOWNORMAL;
  g_platform.ShellExecuteExA(&info);
}

bool CMoreTargetsPage::OnCommand(int id, int code, HWND control) {
  if (m_pModel == nullptr) return false;
  if (id == IDC_MORE_FILTER && code == EN_CHANGE) {
    m_pModel->SetFilter(GetItemText(IDC_MORE_FILTER));
    Refill();
    return true;
  }
  if (code != BN_CLICKED) return false;
  switch (id) {
    case IDC_MORE_SHOW_ALL:
      m_pModel->SetShowAll(GetCheck(IDC_MORE_SHOW_ALL) == BST_CHECKED);
      Refill();
      return true;
    case IDC_MORE_ALL:
    case IDC_MORE_NONE:
      TickAllShown(id == IDC_MORE_ALL);
      return true;
    case IDC_MORE_OPEN_FOLDER:
      OpenRulesFolder();
      return true;
    default:
      return false;
  }
}

bool CMoreTargetsPage::OnNotify(NMHDR* header, LRESULT* result) {
  if (header->idFrom != IDC_MORE_LIST || m_pModel == nullptr) return CPropertyPage::OnNotify(header, result);
  switch (header->code) {
    case LVN_GETDISPINFOA:
      OnGetDispInfo(reinterpret_cast<NMLVDISPINFOA*>(header));
      return true;
    case NM_CUSTOMDRAW:
      *result = OnCustomDraw(reinterpret_cast<NMLVCUSTOMDRAW*>(header));
      return true;
    case NM_CLICK:
    case NM_DBLCLK:
      OnClick(reinterpret_cast<NMITEMACTIVATE*>(header));
      return true;
    case LVN_KEYDOWN: {
      auto* key = reinterpret_cast<NMLVKEYDOWN*>(header);
      if (key->wVKey == VK_SPACE) {
        const int row = ListView_GetNextItem(List(), -1, LVNI_FOCUSED);
        if (row >= 0) ToggleRow(static_cast<size_t>(row));
      }
      return true;
    }
    default:
      return CPropertyPage::OnNotify(header, result);
  }
}

void CMoreTargetsPage::OnGetDispInfo(NMLVDISPINFOA* info) {
  LVITEMA& item = info->item;
  if (item.iItem < 0) return;
  const size_t row = static_cast<size_t>(item.iItem);
  const RuleEntry* entry = m_pModel->EntryAt(row);
  if (item.mask & LVIF_TEXT) {
    if (entry == nullptr) {
      const SweepCategory category = m_pModel->CategoryAt(row);
      m_text = item.iSubItem == 0 ? std::string(SweepCategoryName(category)) + " (" +
                                        Grouped(m_pModel->ShownInCategory(category)) + ")"
                                  : std::string();
    } else {
      m_text = item.iSubItem == 0 ? entry->name : item.iSubItem == 1 ? entry->group : entry->source;
    }
    if (item.pszText != nullptr && item.cchTextMax > 0) lstrcpynA(item.pszText, m_text.c_str(), item.cchTextMax);
  }
  if (item.mask & LVIF_STATE) {
    // No check box on a heading; 1 is the empty box, 2 the ticked one.
    const UINT image = entry == nullptr ? 0 : m_pModel->TickedAt(row) ? 2 : 1;
    item.state = (item.state & ~LVIS_STATEIMAGEMASK) | INDEXTOSTATEIMAGEMASK(image);
    item.stateMask |= LVIS_STATEIMAGEMASK;
  }
}

LRESULT CMoreTargetsPage::OnCustomDraw(NMLVCUSTOMDRAW* draw) {
  switch (draw->nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
      return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT: {
      const size_t row = static_cast<size_t>(draw->nmcd.dwItemSpec);
      if (m_pModel->IsHeading(row)) {
        if (m_hBold != nullptr) ::SelectObject(draw->nmcd.hdc, m_hBold);
        return CDRF_NEWFONT;
      }
      if (!m_pModel->CanTick(row)) {
        draw->clrText = ::GetSysColor(COLOR_GRAYTEXT);
        return CDRF_NEWFONT;
      }
      return CDRF_DODEFAULT;
    }
    default:
      return CDRF_DODEFAULT;
  }
}

void CMoreTargetsPage::OnClick(NMITEMACTIVATE* click) {
  const int row = TickedByClick(List(), click);
  if (row >= 0) ToggleRow(static_cast<size_t>(row));
}

bool CMoreTargetsPage::OnApply() {
  if (m_pModel != nullptr) {
    const auto changes = m_pModel->Changes();
    // A failed write leaves the page as it is, so that Apply can be tried again.
    if (!changes.empty() && !StoreRuleChoices(changes)) return false;
    m_pModel->CommitChanges();
  }
  return CPropertyPage::OnApply();
}

void CMoreTargetsPage::OnCancel() {
  if (m_pModel != nullptr) m_pModel->DropChanges();
}
