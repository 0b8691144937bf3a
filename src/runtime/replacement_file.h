// The file that is written beside another and then moved over it, so that the other is replaced
// whole or not at all: a settings rewrite's temporary file, a download's part file. Its name is one
// of the program's own, which no user or other program gives a file, so whatever stands at it is
// the leftover of a writer that a crash or a kill cut short, and is the program's to reclaim.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "runtime/stream.h"

namespace zelkupd {

// The replacement file of `path`: `path` with ".zelkupd-tmp" added, in the same folder so that the
// move stays on one volume and is atomic.
std::u16string ReplacementFileName(std::u16string_view path);

// The replacement file of one path while it is written. It is removed again unless MoveOver put
// it in the path's place, so that no path leaves it behind.
class TReplacementFile {
 public:
  // Creates the file for writing, others reading it at most. A leftover at that name is removed
  // first; then the file is created only where the name is free (CREATE_NEW), so a leftover that
  // cannot be removed (on Windows, one still held open, as by another run's writer) fails the
  // creation instead of being written over. A failure raises EFCreateError naming `path`, and
  // removes nothing. No other name is ever created, written or removed.
  explicit TReplacementFile(std::u16string_view path);
  // Opens the replacement file that an earlier writer kept (Keep) to go on writing it at its end,
  // others reading it at most: one that another writer still holds fails to open. Raises
  // EFCreateError naming `path`.
  struct TContinue {};
  TReplacementFile(std::u16string_view path, TContinue);
  ~TReplacementFile();
  TReplacementFile(const TReplacementFile&) = delete;
  TReplacementFile& operator=(const TReplacementFile&) = delete;

  TFileStream& Stream() { return *FStream; }

  // Closes the file and moves it over the path; false when the move failed, LastOsError telling
  // why. Force it to the disk first.
  bool MoveOver();

  // Closes the file and leaves it at its name, for a later writer to go on with.
  void Keep();

 private:
  std::u16string FPath;
  std::u16string FName;
  std::unique_ptr<TFileStream> FStream;
  bool FMoved = false;
  bool FKept = false;
};

}  // namespace zelkupd
