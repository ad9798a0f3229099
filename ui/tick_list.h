// The tick of a virtual report list whose owner keeps the ticks: which row a
// click toggles.
#pragma once
#include <windows.h>
#include <commctrl.h>

// The row a click (NM_CLICK) or double click (NM_DBLCLK) on the list toggles,
// or -1. A click on the box toggles its row, and so does a double click
// elsewhere on a row (a double click on the box has toggled it twice already).
inline int TickedByClick(HWND list, const NMITEMACTIVATE* click) {
  LVHITTESTINFO hit = {};
  hit.pt = click->ptAction;
  const int row = ListView_SubItemHitTest(list, &hit);
  if (row < 0) return -1;
  const bool onBox = (hit.flags & LVHT_ONITEMSTATEICON) != 0;
  return onBox == (click->hdr.code == NM_CLICK) ? row : -1;
}
