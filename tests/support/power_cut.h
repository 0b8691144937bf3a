// A power cut for the crash tests. Every file operation the runtime is asked for counts; from the
// chosen one on, each fails, as nothing more reaches the disk. Once the run is over, LoseUnflushed
// takes from every file what was written to it after its last successful flush, wherever renames
// have taken it since: the data a disk cache had not written yet. Renames, removals and new folders
// made before the cut stand, in order, as a journalling file system keeps them.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>

#include "runtime/fault_hook.h"

namespace zelkupd::test {

class TPowerCut {
 public:
  // The power goes at operation `lostAt` (1 is the first); never when it is 0.
  explicit TPowerCut(int lostAt);
  ~TPowerCut();
  TPowerCut(const TPowerCut&) = delete;
  TPowerCut& operator=(const TPowerCut&) = delete;

  // Operations for which `failing` says true fail as well, as a disk error fails them, without
  // cutting the power. A flush that fails so may still have written its data (`landing`): its
  // failure says nothing of what reached the disk.
  void FailAlso(TFaultHook failing, bool landing) {
    FFailAlso = failing;
    FLanding = landing;
  }
  // How many operations were asked for, the failed ones included.
  int Operations() const { return FOperations; }
  // Cuts every file below `folder` back to what was flushed of it; the hook is gone first.
  void LoseUnflushed(std::u16string_view folder);

 private:
  struct TFileState {
    std::uint64_t Flushed = 0;  // bytes known to be on the disk
    bool Dirty = false;         // written since
  };
  using TFileId = std::pair<std::uint64_t, std::uint64_t>;  // volume and file number

  static bool Hook(TFaultPoint point, std::u16string_view path);
  void Observe(TFaultPoint point, std::u16string_view path);
  void Cut(const std::u16string& folder);

  int FLostAt;
  int FOperations = 0;
  TFaultHook FFailAlso = nullptr;
  bool FLanding = false;
  std::map<TFileId, TFileState> FFiles;
  std::set<std::u16string> FJustOpened;  // opened for writing, not written yet
};

}  // namespace zelkupd::test
