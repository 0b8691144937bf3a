#include "fuzz/fuzz_check.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "runtime/text.h"

namespace zelkupd::fuzz {

void Require(bool holds, const char* property, std::u16string_view detail) {
  if (holds) {
    return;
  }
  std::fprintf(stderr, "\n== finding: %s\n", property);
  if (!detail.empty()) {
    std::fprintf(stderr, "== detail: %s\n", Utf16ToUtf8(detail).c_str());
  }
  std::abort();
}

}  // namespace zelkupd::fuzz
