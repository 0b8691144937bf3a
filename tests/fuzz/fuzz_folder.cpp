#include "fuzz/fuzz_folder.h"

#include <unistd.h>

#include <stdexcept>

#include "runtime/files.h"
#include "runtime/text.h"
#include "support/temp_dir.h"

namespace zelkupd::fuzz {

TFuzzFolder::TFuzzFolder() {
  const std::u16string base = DirectoryExists(u"\\dev\\shm") ? u"\\dev\\shm\\" : u"\\tmp\\";
  const std::u16string path = base + u"zelkupd-fuzz-" + IntToText(getpid());
  // A folder of the same name is left over from a crashed run whose process number came again.
  test::RemoveTree(path);
  if (!CreateDir(path)) {
    throw std::runtime_error("cannot create the fuzzing folder");
  }
  FPath = path + u"\\";
}

TFuzzFolder::~TFuzzFolder() {
  test::RemoveTree(FPath);
}

}  // namespace zelkupd::fuzz
