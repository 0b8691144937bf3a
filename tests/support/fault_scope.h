// Makes the runtime fail one kind of file operation on one path for the life of a scope, so a test
// can stand in for a full disk or a locked file and the hook is gone again even when it fails.
#pragma once

#include <string>
#include <string_view>

#include "runtime/fault_hook.h"

namespace zelkupd::test {

class TFaultScope {
 public:
  TFaultScope(TFaultPoint point, std::u16string path) {
    Point() = point;
    Path() = std::move(path);
    SetFaultHook(&Hook);
  }
  ~TFaultScope() { SetFaultHook(nullptr); }
  TFaultScope(const TFaultScope&) = delete;
  TFaultScope& operator=(const TFaultScope&) = delete;

 private:
  static TFaultPoint& Point() {
    static TFaultPoint point;
    return point;
  }
  static std::u16string& Path() {
    static std::u16string path;
    return path;
  }
  static bool Hook(TFaultPoint point, std::u16string_view path) {
    return point == Point() && path == Path();
  }
};

}  // namespace zelkupd::test
