#include "update/release_page.h"

namespace zelkupd {

void FindArchiveLink(TUpdateState& state) {
  state.TargetUrl.clear();
}

std::int32_t ArchiveNumber(std::u16string_view /*name*/) {
  return 0;
}

std::int32_t BetaRank(std::u16string_view /*name*/) {
  return 100000;
}

bool IsNewerThanPrev(const TUpdateState& /*state*/) {
  return false;
}

}  // namespace zelkupd
