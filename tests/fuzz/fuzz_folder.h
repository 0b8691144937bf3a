// A scratch folder for one fuzzing process, in the core's Windows path form. It lies in the
// memory-backed /dev/shm where the machine has one: the targets write and sync files for every
// input, and a disk would make that the whole cost of a run.
#pragma once

#include <string>

namespace zelkupd::fuzz {

class TFuzzFolder {
 public:
  TFuzzFolder();
  ~TFuzzFolder();
  TFuzzFolder(const TFuzzFolder&) = delete;
  TFuzzFolder& operator=(const TFuzzFolder&) = delete;

  // Ends with a backslash.
  const std::u16string& Path() const { return FPath; }

 private:
  std::u16string FPath;
};

}  // namespace zelkupd::fuzz
