// The yardsticks of start-up under Wine, built with the same static, stripped link as
// zelkupd.exe: without arguments a console program that does nothing; with "boxes" one that asks
// a Yes/No/Cancel question and then shows a notice, as zelkupd does when the answer is No, so the
// dialog helper's work on the boxes counts on both sides of the comparison.
#include <windows.h>

#include <cstring>

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "boxes") == 0) {
    MessageBoxW(nullptr, L"question", L"yardstick", MB_YESNOCANCEL | MB_ICONQUESTION);
    MessageBoxW(nullptr, L"notice", L"yardstick", MB_OK);
  }
  return 0;
}
