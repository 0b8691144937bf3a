// How a fuzz target reports a finding: the broken property is printed and the process aborts, so
// that libFuzzer keeps the input as a crash artifact.
#pragma once

#include <string_view>

namespace zelkupd::fuzz {

// Aborts with `property` (and `detail`, when given) unless `holds`.
void Require(bool holds, const char* property, std::u16string_view detail = {});

}  // namespace zelkupd::fuzz
