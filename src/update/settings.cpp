#include "update/settings.h"

namespace zelkupd {

void ReadSettings(TRunContext& /*ctx*/) {}

void WriteSettings(TRunContext& /*ctx*/) {}

}  // namespace zelkupd
