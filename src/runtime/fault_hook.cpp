#include "runtime/fault_hook.h"

namespace zelkupd {
namespace {
TFaultHook gFaultHook = nullptr;
}

void SetFaultHook(TFaultHook hook) {
  gFaultHook = hook;
}

bool FaultRequested(TFaultPoint point, std::u16string_view path) {
  return gFaultHook != nullptr && gFaultHook(point, path);
}

}  // namespace zelkupd
