// A message box as the user sees it, read from its controls, and the pressing of its buttons.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace zelkupd::test {

struct TMessageBoxInfo {
  std::wstring Caption;
  std::wstring Text;                  // the static control 0xFFFF
  std::vector<std::wstring> Buttons;  // "yes", "no", "cancel", "ok", ... from left to right
  std::wstring DefaultButton;         // the one styled BS_DEFPUSHBUTTON; empty when none is
  bool HasIcon = false;
};

TMessageBoxInfo ReadMessageBox(HWND box);

// The control id of a button name ("yes", "no", "cancel", "ok", ...); 0 for an unknown name.
int ButtonId(const std::wstring& name);

// Posts the click of button `id` to the box, as a mouse click on it would.
void PressButton(HWND box, int id);

// Asks the box to close, as its title-bar button would.
void CloseBox(HWND box);

}  // namespace zelkupd::test
