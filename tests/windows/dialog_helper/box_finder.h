// Finds the message boxes of one process among the top-level windows, so that tests running side
// by side in one Wine prefix never see each other's boxes.
#pragma once

#include <windows.h>

#include <vector>

namespace zelkupd::test {

// The visible dialog-class (#32770) top-level windows of the process, in z-order.
std::vector<HWND> FindMessageBoxes(DWORD processId);

}  // namespace zelkupd::test
