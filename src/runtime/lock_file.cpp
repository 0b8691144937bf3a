#include "runtime/lock_file.h"

#include "runtime/errors.h"
#include "runtime/paths.h"

namespace zelkupd {

void RaiseLockError(std::u16string_view path, std::uint32_t osError) {
  throw EFCreateError(FileCreateErrorText(ExpandFileName(path), osError), osError);
}

}  // namespace zelkupd
