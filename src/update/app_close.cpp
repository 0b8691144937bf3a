#include "update/app_close.h"

namespace zelkupd {

bool CloseAppWindows(TRunContext& /*ctx*/, const std::u16string& /*exePath*/,
                     std::int32_t /*slot*/) {
  return false;
}

bool WaitForClosedApps(TRunContext& /*ctx*/) {
  return true;
}

}  // namespace zelkupd
