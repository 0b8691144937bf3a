// A seam for tests: a hook that the file bindings consult before each file operation that can
// fail, so a test can make one fail (a full disk, a locked file or range) at an exact point. The
// product never installs a hook.
#pragma once

#include <string_view>

namespace zelkupd {

// Open is an open that only reads; Create is every open that writes; Read is a read of an open
// file; Flush forces a file's written data to the disk.
enum class TFaultPoint {
  Create,
  Write,
  Rename,
  Replace,
  Delete,
  CreateDir,
  RemoveDir,
  SetTimes,
  Open,
  Read,
  Flush
};

// Returns true to make the operation on `path` fail. Writes and flushes then fail as on a full
// disk, the other operations as access denied. A rename asks once for each of its two paths.
using TFaultHook = bool (*)(TFaultPoint point, std::u16string_view path);

void SetFaultHook(TFaultHook hook);

// True when an installed hook asks this operation to fail.
bool FaultRequested(TFaultPoint point, std::u16string_view path);

}  // namespace zelkupd
