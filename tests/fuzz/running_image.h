// The running updater's image, as the install fuzzer models it: a file that Windows lets a program
// read, stamp and rename while it runs, but neither open for writing, nor remove, nor replace.
// Each is known by its file number, so it stays refused wherever a rename takes it.
#pragma once

#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "runtime/fault_hook.h"

namespace zelkupd::fuzz {

class TRunningImages {
 public:
  // The program at `path` runs from now on; nothing runs from it when no file stands there.
  void Start(std::u16string_view path);
  // The one started last ends.
  void End();
  // Whether the system refuses the operation on `path` to a running image.
  bool Refuses(TFaultPoint point, std::u16string_view path) const;

 private:
  using TFileId = std::pair<std::uint64_t, std::uint64_t>;  // device and file number
  std::vector<std::pair<TFileId, bool>> FRunning;           // the file, and whether there was one
};

// The images that run now; a fault hook of the fuzzer asks it first.
extern TRunningImages gRunning;

// A fault hook that refuses only what the running images refuse.
bool RefusedToRunningImage(TFaultPoint point, std::u16string_view path);

// The program at `path` runs while this lives.
class TRunningScope {
 public:
  explicit TRunningScope(std::u16string_view path) { gRunning.Start(path); }
  ~TRunningScope() { gRunning.End(); }
  TRunningScope(const TRunningScope&) = delete;
  TRunningScope& operator=(const TRunningScope&) = delete;
};

}  // namespace zelkupd::fuzz
