// Byte streams: the abstract TStream with the exact-count reads and writes that raise the stream
// errors, TFileStream with the Win32 access and share modes, and TMemoryStream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/datetime.h"

namespace zelkupd {

enum class TSeekOrigin { Begin, Current, End };

class TStream {
 public:
  TStream() = default;
  TStream(const TStream&) = delete;
  TStream& operator=(const TStream&) = delete;
  virtual ~TStream() = default;

  // Reads up to `count` bytes; returns how many arrived, 0 at the end. A read that the system
  // fails raises EReadError: it is never taken for the end.
  virtual std::size_t Read(void* buffer, std::size_t count) = 0;
  // Writes up to `count` bytes; returns how many were written.
  virtual std::size_t Write(const void* buffer, std::size_t count) = 0;
  // Moves the position; returns the new position from the start.
  virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;
  virtual std::int64_t Size();

  std::int64_t Position() { return Seek(0, TSeekOrigin::Current); }
  void SetPosition(std::int64_t position) { Seek(position, TSeekOrigin::Begin); }

  // Exactly `count` bytes, or EReadError.
  void ReadBuffer(void* buffer, std::size_t count);
  // Exactly `count` bytes, or EWriteError.
  void WriteBuffer(const void* buffer, std::size_t count);
};

enum class TFileAccess { Read, Write, ReadWrite };
enum class TFileShare { None, Read };
enum class TFileDisposition { OpenExisting, CreateAlways, CreateNew };

struct TFileMode {
  TFileAccess Access;
  TFileShare Share;
  TFileDisposition Disposition;
  // The system removes the file once its last handle is closed, also when the process is killed
  // (FILE_FLAG_DELETE_ON_CLOSE); natively its name goes at once, and the open file stays.
  bool DeleteOnClose = false;
};

// The modes the program opens files with.
inline constexpr TFileMode kOpenReadShareRead{TFileAccess::Read, TFileShare::Read,
                                              TFileDisposition::OpenExisting};
inline constexpr TFileMode kOpenReadExclusive{TFileAccess::Read, TFileShare::None,
                                              TFileDisposition::OpenExisting};
// Opens an existing file for writing without changing it: whether it could be replaced now.
inline constexpr TFileMode kOpenWriteExclusive{TFileAccess::Write, TFileShare::None,
                                               TFileDisposition::OpenExisting};
inline constexpr TFileMode kOpenReadWriteExclusive{TFileAccess::ReadWrite, TFileShare::None,
                                                   TFileDisposition::OpenExisting};
// Opens an existing file to go on writing it, reading what it holds, as its writer did.
inline constexpr TFileMode kOpenReadWriteShareRead{TFileAccess::ReadWrite, TFileShare::Read,
                                                   TFileDisposition::OpenExisting};
inline constexpr TFileMode kCreateWriteShareRead{TFileAccess::Write, TFileShare::Read,
                                                 TFileDisposition::CreateAlways};
inline constexpr TFileMode kCreateWriteExclusive{TFileAccess::Write, TFileShare::None,
                                                 TFileDisposition::CreateAlways};
inline constexpr TFileMode kCreateReadWriteExclusive{TFileAccess::ReadWrite, TFileShare::None,
                                                     TFileDisposition::CreateAlways};
// Create a file that must not exist yet (CREATE_NEW): whatever stands at the name is never
// opened for writing and is kept. With the first, others may read the new file while it is
// written, not write it; the second lets nobody else open it while it is held.
inline constexpr TFileMode kCreateNewWriteShareRead{TFileAccess::Write, TFileShare::Read,
                                                    TFileDisposition::CreateNew};
inline constexpr TFileMode kCreateNewWriteExclusive{TFileAccess::Write, TFileShare::None,
                                                    TFileDisposition::CreateNew};
// A file of this process's alone: made new, read and written through the one handle, which no
// other open can share, and gone when that handle is closed.
inline constexpr TFileMode kCreatePrivateTemporary{TFileAccess::ReadWrite, TFileShare::None,
                                                   TFileDisposition::CreateNew, true};

// A file opened with CreateFileW (natively open(2)). A failed open raises EFOpenError when it only
// reads and EFCreateError when it writes, with the full path, the system's text and its error
// code (OsError). The error names `errorName` instead of `path` when given: the file that a
// temporary one stands in for.
class TFileStream : public TStream {
 public:
  TFileStream(std::u16string_view path, const TFileMode& mode, std::u16string_view errorName = {});
  ~TFileStream() override;

  std::size_t Read(void* buffer, std::size_t count) override;
  std::size_t Write(const void* buffer, std::size_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;

  // Forces written data to the disk (FlushFileBuffers); false on failure.
  bool FlushToDisk();
  // The file's creation and last-write times through this handle (SetFileTime, GetFileTime; the
  // native file systems keep no creation time); false on failure.
  bool SetTimes(const TFileTime& creation, const TFileTime& lastWrite);
  bool GetTimes(TFileTime& creation, TFileTime& lastWrite) const;
  const std::u16string& FileName() const { return FFileName; }

 private:
  std::u16string FFileName;
  std::intptr_t FHandle;
};

// A growable stream in memory.
class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::string_view bytes) : FData(bytes.begin(), bytes.end()) {}

  std::size_t Read(void* buffer, std::size_t count) override;
  std::size_t Write(const void* buffer, std::size_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;

  const std::vector<unsigned char>& Data() const { return FData; }

 private:
  std::vector<unsigned char> FData;
  std::size_t FPosition = 0;
};

// Reads the whole file; raises the open error of TFileStream, and EReadError when a read fails.
std::string ReadWholeFile(std::u16string_view path, const TFileMode& mode = kOpenReadShareRead);

}  // namespace zelkupd
