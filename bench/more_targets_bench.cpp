// "More Targets" benchmark: the built-in rules and the community rule file
// loaded and detected, then the control panel shown with its "More Targets"
// page opened (page made, list filled and painted), and one letter typed into
// the filter (list narrowed and painted), each repeated on a fresh panel.
// Detection runs in a scratch user hive where a few common programs leave
// their keys, so that some entries apply.
//   bench_more_targets_bench.exe [rule file] [runs=7] [shot=picture.bmp]
// With shot=, the page is left showing the whole community file's entries
// that apply and its picture is written as a bitmap.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_rule_file.h"
#include "bench/bench_stats.h"
#include "engine/sweep_worker.h"
#include "res/resource.h"
#include "rules/rule_set.h"
#include "ui/control_panel.h"
#include "ui/panel_host.h"

namespace {

class BenchHost : public PanelHost {
 public:
  HWND MainWindow() const override { return nullptr; }
  SweepWorker* Worker() override { return nullptr; }
  bool IsSweeping() const override { return false; }
  void SetSweeping(bool) override {}
  bool IsPreviewing() const override { return false; }
  void SetPreviewing(bool) override {}
  void SetSweepTimer(int) override {}
  void CancelSweepTimer() override {}
  void StartTrayAnimation() override {}
  void PlacePanelForLog() override {}
  void ShowProgressWindow() override {}
  void ShowAbout(HWND) override {}
};

std::string BuiltinBytes() {
  HRSRC res = ::FindResourceA(nullptr, "BUILTIN_RULES", MAKEINTRESOURCEA(10) /* RT_RCDATA */);
  HGLOBAL loaded = res != nullptr ? ::LoadResource(nullptr, res) : nullptr;
  const void* data = loaded != nullptr ? ::LockResource(loaded) : nullptr;
  return data != nullptr ? std::string(static_cast<const char*>(data), ::SizeofResource(nullptr, res)) : std::string();
}

void Pump() {
  MSG msg;
  while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
}

// A scratch user hive holding the keys of a few programs people have.
HKEY OverrideUserHive() {
  HKEY scratch = nullptr;
  ::RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\MorvaneBench\\more-targets", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                    &scratch, nullptr);
  for (const char* key :
       {"Software\\Google\\Chrome", "Software\\Microsoft\\Edge", "Software\\Mozilla\\Mozilla Firefox",
        "Software\\Microsoft\\Office\\16.0\\Word", "Software\\Microsoft\\Office\\16.0\\Excel", "Software\\7-Zip",
        "Software\\VideoLAN\\VLC", "Software\\Notepad++", "Software\\Adobe\\Acrobat Reader\\DC",
        "Software\\Microsoft\\MediaPlayer", "Software\\Valve\\Steam", "Software\\Spotify", "Software\\Zoom",
        "Software\\GIMP", "Software\\IrfanView", "Software\\Audacity", "Software\\Mozilla\\Thunderbird"}) {
    HKEY h = nullptr;
    ::RegCreateKeyExA(scratch, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr);
    if (h != nullptr) ::RegCloseKey(h);
  }
  ::RegOverridePredefKey(HKEY_CURRENT_USER, scratch);
  return scratch;
}

bool SaveWindowPicture(HWND hwnd, const std::string& path) {
  RECT r;
  ::GetWindowRect(hwnd, &r);
  const int w = r.right - r.left, h = r.bottom - r.top;
  HDC screen = ::GetDC(nullptr);
  HDC mem = ::CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = h;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  HBITMAP bmp = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = ::SelectObject(mem, bmp);
  ::BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  ::SelectObject(mem, old);
  const DWORD stride = ((static_cast<DWORD>(w) * 3 + 3) & ~3u), size = stride * static_cast<DWORD>(h);
  BITMAPFILEHEADER file = {};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info.bmiHeader;
  file.bfSize = file.bfOffBits + size;
  bool ok = false;
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    ok = std::fwrite(&file, sizeof file, 1, f) == 1 && std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, f) == 1 &&
         std::fwrite(bits, size, 1, f) == 1;
    std::fclose(f);
  }
  ::DeleteObject(bmp);
  ::DeleteDC(mem);
  ::ReleaseDC(nullptr, screen);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  std::string file = DefaultRuleFile(), shot;
  int runs = 7;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a.rfind("shot=", 0) == 0)
      shot = a.substr(5);
    else if (a.find_first_not_of("0123456789") == std::string::npos)
      runs = std::atoi(a.c_str());
    else
      file = a;
  }
  if (::GetFileAttributesA(file.c_str()) == INVALID_FILE_ATTRIBUTES) {
    std::printf("no rule file at %s: nothing measured\n", file.c_str());
    return 0;
  }
  HKEY scratch = OverrideUserHive();
  RuleSet rules;
  double t0 = Now();
  rules.LoadText(BuiltinBytes(), "Built-in", true);
  rules.LoadFile(file);
  const double load = Now() - t0;
  t0 = Now();
  rules.DetectAll();
  const double detect = Now() - t0;
  size_t applying = 0;
  for (size_t i = 0; i < rules.Entries().size(); ++i) applying += rules.Applies(i) ? 1 : 0;
  std::printf("%zu entries, %zu apply here; load %.1f ms, detect %.1f ms (once, before the page)\n",
              rules.Entries().size(), applying, load * 1000, detect * 1000);

  BenchHost host;
  std::vector<double> opens, letters, showAll;
  for (int run = 0; run < runs; ++run) {
    CLustraProp panel(&host, nullptr, 0);
    panel.m_moreTargetsPage.SetRules(&rules);
    if (!panel.Create(true)) {
      std::printf("the panel could not be made\n");
      return 1;
    }
    Pump();
    HWND list = nullptr;
    t0 = Now();
    panel.SetActivePage(4);
    list = panel.m_moreTargetsPage.List();
    ::UpdateWindow(list);
    opens.push_back(Now() - t0);
    Pump();

    const char letter[2] = {"cesa"[run % 4], 0};
    t0 = Now();
    panel.m_moreTargetsPage.SetFilterText(letter);
    ::UpdateWindow(list);
    letters.push_back(Now() - t0);
    panel.m_moreTargetsPage.SetFilterText("");
    Pump();

    t0 = Now();
    ::SendMessageA(panel.m_moreTargetsPage.GetItem(IDC_MORE_SHOW_ALL), BM_CLICK, 0, 0);
    ::UpdateWindow(list);
    showAll.push_back(Now() - t0);
    ::SendMessageA(panel.m_moreTargetsPage.GetItem(IDC_MORE_SHOW_ALL), BM_CLICK, 0, 0);
    Pump();

    if (run == runs - 1 && !shot.empty()) {
      ::SetForegroundWindow(panel.GetSafeHwnd());
      for (int i = 0; i < 20; ++i) {
        Pump();
        ::Sleep(25);
      }
      std::printf("picture %s: %s\n", shot.c_str(), SaveWindowPicture(panel.GetSafeHwnd(), shot) ? "written" : "failed");
      // The Settings page too, with its Preview button.
      panel.SetActivePage(0);
      for (int i = 0; i < 10; ++i) {
        Pump();
        ::Sleep(25);
      }
      SaveWindowPicture(panel.GetSafeHwnd(), shot + ".settings.bmp");
    }
    panel.Close();
    Pump();
  }
  std::printf("open the page: median %.1f ms (min %.1f, max %.1f) over %d runs\n", Median(opens) * 1000,
              *std::min_element(opens.begin(), opens.end()) * 1000, *std::max_element(opens.begin(), opens.end()) * 1000,
              runs);
  std::printf("type one letter: median %.1f ms (min %.1f, max %.1f)\n", Median(letters) * 1000,
              *std::min_element(letters.begin(), letters.end()) * 1000,
              *std::max_element(letters.begin(), letters.end()) * 1000);
  std::printf("show entries for programs not found (all %zu): median %.1f ms\n", rules.Entries().size(),
              Median(showAll) * 1000);
  ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
  ::RegCloseKey(scratch);
  ::RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\MorvaneBench\\more-targets");
  return 0;
}
