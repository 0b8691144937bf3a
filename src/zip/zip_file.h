// TZipFile: a ZIP archive opened read-only, its entries listed from the central directory and
// extracted one at a time, with stored and deflated data. There is no write side.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/stream.h"
#include "zip/buffered_read_stream.h"
#include "zip/entry_data_stream.h"
#include "zip/zip_header.h"

namespace zelkupd {

enum class TZipMode { zmClosed = 0, zmRead = 1, zmReadWrite = 2, zmWrite = 3 };

// Every failure raises; the classes and texts are those of runtime/errors.h and zip/zip_texts.h.
// Every entry read moves the one archive stream, so only one decoder may be in use at a time.
class TZipFile {
 public:
  TZipFile() = default;
  ~TZipFile() { Close(); }
  TZipFile(const TZipFile&) = delete;
  TZipFile& operator=(const TZipFile&) = delete;

  // Opens the file read-only with no sharing and lists its entries. Only zmRead is accepted: the
  // write modes, like zmClosed, raise EZipException "引数が無効です". A file that cannot be opened
  // raises EFOpenError; any failure leaves the reader closed and the file closed.
  void Open(std::u16string_view fileName, TZipMode mode);
  // As above on a stream the caller keeps; entry offsets count from its current position.
  void Open(TStream& stream, TZipMode mode);
  // Forgets the entries and the stream and closes the file opened by name. Harmless when closed.
  void Close();

  int GetFileCount() const;
  // A copy of the entry's central header; EArgumentOutOfRangeException for an index outside.
  TZipHeader GetFileInfo(int index) const;
  // The numeric fields of the entry's central header, without copying its name and extra field.
  const TZipHeaderFields& GetFileFields(int index) const { return Entry(index).Fields; }
  // The name decoded from its code page (UTF-8 with flag bit 11, else 437), "/" kept as stored.
  std::u16string GetFileName(int index) const;
  // The entry's comment, decoded as its name is.
  std::u16string GetFileComment(int index) const;
  // The archive comment from the end record, read as code page 437.
  const std::u16string& Comment() const { return FComment; }
  // False as soon as one entry's name lacks the UTF-8 flag.
  bool Utf8Support() const { return FUTF8Support; }
  // The first entry whose decoded name equals `name` exactly, case included; -1 when none does.
  int IndexOf(std::u16string_view name) const;

  // Positions the archive at the entry's data and returns its decoder, with the entry's local
  // header in `localHeader`. Refuses encrypted entries (flag bit 0) other than folders with
  // EZipException and an unregistered method with EListError, before anything is written.
  std::unique_ptr<TStream> Read(int index, TZipHeader& localHeader);
  // The entry's decoded data, checked as Extract checks it.
  void Read(int index, std::vector<std::uint8_t>& bytes);

  // Writes the entry below `path`: with `createSubdirs` at its whole name in its canonical
  // spelling (CanonicalEntryName), creating the folders on the way, else at its last component. A
  // name ending in "/" is a folder and writes no file. The name is checked (CheckEntryName) before
  // any folder or file is created; the data's CRC-32 and size are checked as it is copied. An
  // existing file is replaced.
  void Extract(int index, std::u16string_view path, bool createSubdirs);
  void Extract(std::u16string_view name, std::u16string_view path, bool createSubdirs);
  // Writes the entry's data to `output`, checked as Extract checks it.
  void ExtractTo(int index, TStream& output);
  // Every entry in order, with subfolders.
  void ExtractAll(std::u16string_view path);

  struct TOutput {
    std::u16string FilePath;
    std::u16string Folder;  // full path of the folder to create; empty when none
    bool IsFolder = false;  // the stored name ends in "/": nothing to write
  };
  // Where Extract with the same arguments puts the entry, with the same checks of its name and
  // folder and the same exceptions; nothing is read, created or written.
  TOutput PrepareOutput(int index, std::u16string_view path, bool createSubdirs) const;

  // True when the file has an end of central directory record; false on any failure.
  static bool IsValid(std::u16string_view fileName);
  // Opens the file and extracts every entry below `path`.
  static void ExtractZipFile(std::u16string_view fileName, std::u16string_view path);

 private:
  // One entry as held: its numeric fields, and where its name, extra field and comment lie, one
  // after the other, in FEntryBytes. A whole TZipHeader per entry would cost three heap blocks and
  // nearly a hundred bytes of members more, which 65,535 entries notice.
  struct TEntryRecord {
    TZipHeaderFields Fields;
    // Below 4 GiB: the whole central directory is, as LocateCentralDirectory makes sure.
    std::uint32_t BytesOffset = 0;
  };

  void ReadCentralDirectory();
  // Takes the local header's Zip64 sizes and refuses them where they contradict the central ones.
  static void CheckLocalSizes(const TZipHeaderFields& central, TZipHeader& localHeader);
  void CheckOpen() const;
  void CheckReadable() const;
  const TEntryRecord& Entry(int index) const;
  std::string_view NameBytes(const TEntryRecord& entry) const;
  std::string_view ExtraBytes(const TEntryRecord& entry) const;
  std::string_view CommentBytes(const TEntryRecord& entry) const;
  std::u16string DecodedName(const TEntryRecord& entry) const;
  // `stored` is the entry's decoded name.
  TOutput PrepareOutput(int index, std::u16string_view stored, std::u16string_view path,
                        bool createSubdirs) const;
  // `name` is the entry's decoded name, for the texts of the data checks.
  void CopyToFile(int index, TStream& decoder, const TZipHeader& localHeader,
                  std::u16string_view filePath, std::u16string_view name);

  TZipMode FMode = TZipMode::zmClosed;
  TStream* FStream = nullptr;
  std::unique_ptr<TFileStream> FFileStream;
  std::unique_ptr<TBufferedReadStream> FFileBuffer;  // FStream when the file was opened by name
  std::int64_t FStartFileData = 0;
  std::int64_t FDirectoryOffset = 0;  // where the entries' data must end
  TEntryDataStream FEntryData;        // the data of the entry last read, for its decoder
  std::vector<TEntryRecord> FFiles;
  std::string FEntryBytes;
  std::u16string FComment;
  bool FUTF8Support = true;
};

}  // namespace zelkupd
