#include "dialog_helper/box_finder.h"

#include <cwchar>

namespace zelkupd::test {
namespace {

struct TSearch {
  DWORD ProcessId;
  std::vector<HWND> Boxes;
};

BOOL CALLBACK CollectBox(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<TSearch*>(param);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  if (owner != search->ProcessId || ::IsWindowVisible(window) == FALSE) {
    return TRUE;
  }
  wchar_t className[16] = {};
  ::GetClassNameW(window, className, 16);
  if (std::wcscmp(className, L"#32770") == 0) {
    search->Boxes.push_back(window);
  }
  return TRUE;
}

}  // namespace

std::vector<HWND> FindMessageBoxes(DWORD processId) {
  TSearch search{processId, {}};
  ::EnumWindows(CollectBox, reinterpret_cast<LPARAM>(&search));
  return search.Boxes;
}

}  // namespace zelkupd::test
