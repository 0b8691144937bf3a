#include "dialog_helper/message_box.h"

#include <algorithm>
#include <array>
#include <utility>

namespace zelkupd::test {
namespace {

// The static control that holds a message box's text.
constexpr int kTextControlId = 0xFFFF;
// The icon control: 20 on Windows, 1088 (stc1) in Wine's message box template.
constexpr std::array<int, 2> kIconControlIds = {20, 1088};

struct TButtonName {
  int Id;
  const wchar_t* Name;
};
constexpr std::array<TButtonName, 10> kButtons = {{{IDOK, L"ok"},
                                                   {IDCANCEL, L"cancel"},
                                                   {IDABORT, L"abort"},
                                                   {IDRETRY, L"retry"},
                                                   {IDIGNORE, L"ignore"},
                                                   {IDYES, L"yes"},
                                                   {IDNO, L"no"},
                                                   {IDHELP, L"help"},
                                                   {IDTRYAGAIN, L"tryagain"},
                                                   {IDCONTINUE, L"continue"}}};

// Longer than any text a box of the updater shows.
constexpr int kTextCapacity = 32768;
// How long a query may wait for the box's thread; a box is only shown while that thread runs
// the box's message loop, so this is a safeguard, never a normal wait.
constexpr UINT kQueryTimeoutMs = 2000;

// GetWindowTextW reads another process's window text without sending it a message, so a busy or
// hung program cannot block the helper (GetDlgItemTextW and GetWindowTextLengthW would).
std::wstring WindowText(HWND window) {
  std::wstring text(kTextCapacity, L'\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextW(window, text.data(), kTextCapacity)));
  return text;
}

bool HasVisibleIcon(HWND box) {
  return std::any_of(kIconControlIds.begin(), kIconControlIds.end(), [box](int id) {
    HWND icon = ::GetDlgItem(box, id);
    DWORD_PTR hIcon = 0;
    return icon != nullptr && ::IsWindowVisible(icon) != FALSE &&
           ::SendMessageTimeoutW(icon, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, kQueryTimeoutMs,
                                 &hIcon) != 0 &&
           hIcon != 0;
  });
}

}  // namespace

TMessageBoxInfo ReadMessageBox(HWND box) {
  TMessageBoxInfo info;
  info.Caption = WindowText(box);
  if (HWND text = ::GetDlgItem(box, kTextControlId); text != nullptr) {
    info.Text = WindowText(text);
  }
  std::vector<std::pair<LONG, std::wstring>> placed;
  for (const TButtonName& button : kButtons) {
    HWND control = ::GetDlgItem(box, button.Id);
    if (control == nullptr || ::IsWindowVisible(control) == FALSE) {
      continue;
    }
    RECT rect{};
    ::GetWindowRect(control, &rect);
    placed.emplace_back(rect.left, button.Name);
    // DM_GETDEFID does not tell the default reliably under Wine; the button's style does.
    const auto style = static_cast<DWORD>(::GetWindowLongW(control, GWL_STYLE));
    if ((style & BS_TYPEMASK) == BS_DEFPUSHBUTTON && info.DefaultButton.empty()) {
      info.DefaultButton = button.Name;
    }
  }
  std::stable_sort(placed.begin(), placed.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (auto& [left, name] : placed) {
    info.Buttons.push_back(std::move(name));
  }
  info.HasIcon = HasVisibleIcon(box);
  return info;
}

int ButtonId(const std::wstring& name) {
  for (const TButtonName& button : kButtons) {
    if (name == button.Name) {
      return button.Id;
    }
  }
  return 0;
}

void PressButton(HWND box, int id) {
  ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(::GetDlgItem(box, id)));
}

void CloseBox(HWND box) {
  ::PostMessageW(box, WM_CLOSE, 0, 0);
}

}  // namespace zelkupd::test
