// A lock between the program's runs: a file of the program's own that one holder at a time keeps
// open without sharing, and that goes again when its holder lets go of it. A crash lets go of it
// too; a power cut can leave the file, which is then only an empty file the next holder takes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace zelkupd {

class TLockFile {
 public:
  // Takes the lock at `path`, making the file where there is none. Null when someone else holds
  // it or is letting go of it at that moment. Raises EFCreateError, with the system's code, for
  // any other failure (the folder missing, no right to write in it). A read-only mark on a file
  // left behind is cleared first: nobody holds such a file, and it must not keep every later run
  // out.
  static std::unique_ptr<TLockFile> Take(std::u16string_view path);
  // Lets go of the lock and removes its file.
  ~TLockFile();
  TLockFile(const TLockFile&) = delete;
  TLockFile& operator=(const TLockFile&) = delete;

 private:
  TLockFile(std::u16string path, std::intptr_t handle) : FPath(std::move(path)), FHandle(handle) {}

  std::u16string FPath;
  std::intptr_t FHandle;
};

// Raises the EFCreateError of a lock file that cannot be made: `path` with the system's text.
[[noreturn]] void RaiseLockError(std::u16string_view path, std::uint32_t osError);

}  // namespace zelkupd
