#include "zip/zip_file.h"

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

#include "runtime/codepage.h"
#include "runtime/errors.h"
#include "runtime/files.h"
#include "runtime/paths.h"
#include "zip/compression_registry.h"
#include "zip/directory_bounds.h"
#include "zip/end_record.h"
#include "zip/entry_copy.h"
#include "zip/entry_paths.h"
#include "zip/little_endian.h"
#include "zip/zip64_extra.h"
#include "zip/zip_texts.h"

namespace zelkupd {

void TZipFile::Open(std::u16string_view fileName, TZipMode mode) {
  Close();
  if (mode != TZipMode::zmRead) {
    throw EZipException(texts::kInvalidArgument);
  }
  auto file = std::make_unique<TFileStream>(fileName, kOpenReadExclusive);
  auto buffer = std::make_unique<TBufferedReadStream>(*file);
  Open(*buffer, mode);
  FFileStream = std::move(file);
  FFileBuffer = std::move(buffer);
}

void TZipFile::Open(TStream& stream, TZipMode mode) {
  Close();
  if (mode != TZipMode::zmRead) {
    throw EZipException(texts::kInvalidArgument);
  }
  if (stream.Size() == 0) {
    throw EZipException(texts::kStreamReadError);
  }
  FStream = &stream;
  FStartFileData = stream.Position();
  try {
    ReadCentralDirectory();
  } catch (...) {
    Close();
    throw;
  }
  FMode = mode;
}

void TZipFile::Close() {
  FMode = TZipMode::zmClosed;
  FFiles.clear();
  FComment.clear();
  FStream = nullptr;
  FFileBuffer.reset();
  FFileStream.reset();
}

namespace {

// A name that ends in a separator, or none at all, names a folder: the entry writes no data.
bool IsFolderName(std::u16string_view name) {
  return name.empty() || name.back() == u'/' || name.back() == u'\\';
}

[[noreturn]] void Damaged() {
  throw EZipException(texts::kZipReadError);
}

// Whether `size` bytes from `start` end at `limit` or before it.
bool EndsBy(std::uint64_t start, std::uint64_t size, std::uint64_t limit) {
  return start <= limit && size <= limit - start;
}

// The bytes of names, extra fields and comments in the directory the stream stands at, from a first
// walk over its fixed headers, so they can be held without a growing copy. The walk stops quietly
// at anything the real reading refuses, which raises then; it never counts more than the stream
// holds.
std::size_t CountEntryBytes(TStream& stream, std::uint64_t entries) {
  const std::int64_t start = stream.Position();
  const std::int64_t size = stream.Size();
  std::size_t total = 0;
  for (std::uint64_t i = 0; i < entries; ++i) {
    std::array<unsigned char, 4 + kCentralHeaderSize> header{};
    if (stream.Read(header.data(), header.size()) != header.size() ||
        LoadLE32(header.data()) != kCentralHeaderSignature) {
      break;
    }
    const std::size_t length = std::size_t{LoadLE16(header.data() + 28)} +
                               LoadLE16(header.data() + 30) + LoadLE16(header.data() + 32);
    total += length;
    stream.Seek(static_cast<std::int64_t>(length), TSeekOrigin::Current);
  }
  stream.SetPosition(start);
  return std::min(total, static_cast<std::size_t>(std::max<std::int64_t>(size, 0)));
}

// Where an entry's local header starts, and the least byte past its data: the local name, extra
// field and a data descriptor are not counted, so two extents that overlap are entries that do.
using TExtent = std::pair<std::uint64_t, std::uint64_t>;

// True when one entry's local header and data reach into another's. Only a crafted archive does
// that, and it is how a few KB of compressed data extract many times over to fill a disk.
bool ExtentsOverlap(std::vector<TExtent>& extents) {
  std::sort(extents.begin(), extents.end());
  return std::adjacent_find(extents.begin(), extents.end(), [](const TExtent& a, const TExtent& b) {
           return b.first < a.second;
         }) != extents.end();
}

}  // namespace

// The directory must add up: its entries fill it exactly, as many as the end records say, and
// each one's local header and data lie before it (an archive with data before it, whose offsets
// then miss, is refused by this) and apart from every other's. The disk numbers and the per-disk
// counts are compared with nothing.
void TZipFile::ReadCentralDirectory() {
  FFiles.clear();
  FEntryBytes.clear();
  FUTF8Support = true;
  TEndRecord record;
  std::string comment;
  if (!FindEndRecord(*FStream, record, comment)) {
    Damaged();
  }
  FComment = DecodeCodePage(comment, kCodePage437);
  const TDirectoryBounds bounds = LocateCentralDirectory(*FStream, record);
  FDirectoryOffset = bounds.Offset;
  FStream->SetPosition(bounds.Offset);
  // Reserved at once, neither list is ever held twice while it grows. The count is bounded by the
  // directory's size, which lies inside the archive.
  FFiles.reserve(static_cast<std::size_t>(bounds.Entries));
  FEntryBytes.reserve(CountEntryBytes(*FStream, bounds.Entries));
  const auto directoryStart = static_cast<std::uint64_t>(bounds.Offset);
  std::vector<TExtent> extents;
  extents.reserve(static_cast<std::size_t>(bounds.Entries));
  for (std::uint64_t i = 0; i < bounds.Entries; ++i) {
    std::array<unsigned char, 4> signature{};
    if (FStream->Read(signature.data(), signature.size()) != signature.size() ||
        LoadLE32(signature.data()) != kCentralHeaderSignature) {
      throw EZipException(texts::kInvalidCentralSignature);
    }
    std::array<unsigned char, kCentralHeaderSize> fixed{};
    ReadExact(*FStream, fixed.data(), fixed.size());
    TEntryRecord entry;
    DecodeCentralHeader(fixed.data(), entry.Fields);
    entry.BytesOffset = static_cast<std::uint32_t>(FEntryBytes.size());
    const std::size_t length = std::size_t{entry.Fields.FileNameLength} +
                               entry.Fields.ExtraFieldLength + entry.Fields.FileCommentLength;
    FEntryBytes.resize(entry.BytesOffset + length);
    ReadExact(*FStream, FEntryBytes.data() + entry.BytesOffset, length);
    ApplyZip64Extra(ExtraBytes(entry), TExtraKind::Central, entry.Fields);
    const std::uint64_t localStart =
        entry.Fields.LocalHeaderOffset + static_cast<std::uint64_t>(FStartFileData);
    if (localStart < entry.Fields.LocalHeaderOffset ||
        !EndsBy(localStart, 4 + kLocalHeaderSize, directoryStart) ||
        !EndsBy(localStart + 4 + kLocalHeaderSize, entry.Fields.CompressedSize, directoryStart)) {
      Damaged();
    }
    extents.emplace_back(localStart,
                         localStart + 4 + kLocalHeaderSize + entry.Fields.CompressedSize);
    if ((entry.Fields.Flag & kFlagUtf8) == 0) {
      FUTF8Support = false;
    }
    FFiles.push_back(entry);
  }
  if (FStream->Position() != bounds.Offset + bounds.Size || ExtentsOverlap(extents)) {
    Damaged();
  }
}

void TZipFile::CheckOpen() const {
  if (FMode == TZipMode::zmClosed) {
    throw EZipException(texts::kZipMustBeOpen);
  }
}

void TZipFile::CheckReadable() const {
  if (FMode != TZipMode::zmRead) {
    throw EZipException(texts::kZipMustBeOpenForReading);
  }
}

const TZipFile::TEntryRecord& TZipFile::Entry(int index) const {
  CheckOpen();
  if (index < 0 || static_cast<std::size_t>(index) >= FFiles.size()) {
    throw EArgumentOutOfRangeException(texts::kArgumentOutOfRange);
  }
  return FFiles[static_cast<std::size_t>(index)];
}

std::string_view TZipFile::NameBytes(const TEntryRecord& entry) const {
  return std::string_view(FEntryBytes).substr(entry.BytesOffset, entry.Fields.FileNameLength);
}

std::string_view TZipFile::ExtraBytes(const TEntryRecord& entry) const {
  return std::string_view(FEntryBytes)
      .substr(entry.BytesOffset + entry.Fields.FileNameLength, entry.Fields.ExtraFieldLength);
}

std::string_view TZipFile::CommentBytes(const TEntryRecord& entry) const {
  return std::string_view(FEntryBytes)
      .substr(entry.BytesOffset + entry.Fields.FileNameLength + entry.Fields.ExtraFieldLength,
              entry.Fields.FileCommentLength);
}

std::u16string TZipFile::DecodedName(const TEntryRecord& entry) const {
  return DecodeCodePage(NameBytes(entry), NameCodePage(entry.Fields.Flag));
}

int TZipFile::GetFileCount() const {
  CheckOpen();
  return static_cast<int>(FFiles.size());
}

TZipHeader TZipFile::GetFileInfo(int index) const {
  const TEntryRecord& entry = Entry(index);
  TZipHeader header;
  static_cast<TZipHeaderFields&>(header) = entry.Fields;
  header.FileName = {std::string(NameBytes(entry)), NameCodePage(entry.Fields.Flag)};
  const std::string_view extra = ExtraBytes(entry);
  header.ExtraField.assign(extra.begin(), extra.end());
  header.FileComment = CommentBytes(entry);
  return header;
}

std::u16string TZipFile::GetFileName(int index) const {
  return DecodedName(Entry(index));
}

std::u16string TZipFile::GetFileComment(int index) const {
  const TEntryRecord& entry = Entry(index);
  return DecodeCodePage(CommentBytes(entry), NameCodePage(entry.Fields.Flag));
}

int TZipFile::IndexOf(std::u16string_view name) const {
  for (std::size_t i = 0; i < FFiles.size(); ++i) {
    if (DecodedName(FFiles[i]) == name) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

// The local header's lengths, not the central ones, decide where the data starts, and the data
// ends at the central compressed size. A short local header decodes as zeros; its sizes are
// compared with the central ones only where they are Zip64 values, and then must agree with them.
std::unique_ptr<TStream> TZipFile::Read(int index, TZipHeader& localHeader) {
  CheckReadable();
  if (index < 0 || static_cast<std::size_t>(index) >= FFiles.size()) {
    throw EZipException(texts::kZipFileNotFound);
  }
  const TZipHeaderFields& central = FFiles[static_cast<std::size_t>(index)].Fields;
  localHeader = TZipHeader{};
  FStream->SetPosition(static_cast<std::int64_t>(central.LocalHeaderOffset) + FStartFileData);
  std::array<unsigned char, 4> signature{};
  if (FStream->Read(signature.data(), signature.size()) != signature.size() ||
      LoadLE32(signature.data()) != kLocalHeaderSignature) {
    throw EZipException(texts::kInvalidLocalSignature);
  }
  std::array<unsigned char, kLocalHeaderSize> fixed{};
  FStream->Read(fixed.data(), fixed.size());
  DecodeLocalHeader(fixed.data(), localHeader);
  localHeader.FileName.CodePage = NameCodePage(localHeader.Flag);
  std::string& name = localHeader.FileName.Bytes;
  name.resize(localHeader.FileNameLength);
  name.resize(FStream->Read(name.data(), name.size()));
  std::vector<std::uint8_t>& extra = localHeader.ExtraField;
  extra.resize(localHeader.ExtraFieldLength);
  extra.resize(FStream->Read(extra.data(), extra.size()));
  const std::int64_t dataStart = FStream->Position();
  CheckLocalSizes(central, localHeader);
  if (!EndsBy(static_cast<std::uint64_t>(dataStart), central.CompressedSize,
              static_cast<std::uint64_t>(FDirectoryOffset))) {
    Damaged();
  }
  // Without the password the data would decode as garbage, or not at all. A folder entry has no
  // data that anything decodes, so its flag hides nothing and its folder is made as ever.
  if (((central.Flag | localHeader.Flag) & kFlagEncrypted) != 0) {
    const std::u16string decoded = GetFileName(index);
    if (!IsFolderName(decoded)) {
      throw EZipException(texts::EncryptedEntryText(decoded));
    }
  }
  const TCompressionHandler& handler = FindCompressionHandler(central.CompressionMethod);
  if (!handler.Decoder) {
    throw EListError(texts::kItemNotFound);
  }
  FEntryData.Reset(*FStream, dataStart, static_cast<std::int64_t>(central.CompressedSize));
  return handler.Decoder(FEntryData, *this, localHeader);
}

void TZipFile::CheckLocalSizes(const TZipHeaderFields& central, TZipHeader& localHeader) {
  const bool trailing = (localHeader.Flag & kFlagDataDescriptor) != 0;
  const bool zip64Uncompressed = localHeader.UncompressedSize == kZip64Marker32;
  const bool zip64Compressed = localHeader.CompressedSize == kZip64Marker32;
  const std::string_view extra(reinterpret_cast<const char*>(localHeader.ExtraField.data()),
                               localHeader.ExtraField.size());
  ApplyZip64Extra(extra, trailing ? TExtraKind::LocalTrailing : TExtraKind::Local, localHeader);
  if (!trailing &&
      ((zip64Uncompressed && localHeader.UncompressedSize != central.UncompressedSize) ||
       (zip64Compressed && localHeader.CompressedSize != central.CompressedSize))) {
    Damaged();
  }
}

void TZipFile::Read(int index, std::vector<std::uint8_t>& bytes) {
  TZipHeader localHeader;
  const std::unique_ptr<TStream> decoder = Read(index, localHeader);
  TMemoryStream data;
  CopyEntryData(*decoder, FFiles[static_cast<std::size_t>(index)].Fields,
                (localHeader.Flag & kFlagDataDescriptor) != 0, data, GetFileName(index));
  bytes.assign(data.Data().begin(), data.Data().end());
}

// The name goes in its canonical spelling: CheckEntryName has refused every name that could climb
// out of `path` or land on another file than the one it names, and the "." components and doubled
// separators it lets pass are gone.
TZipFile::TOutput TZipFile::PrepareOutput(int index, std::u16string_view stored,
                                          std::u16string_view path, bool createSubdirs) const {
  CheckEntryName(stored, Entry(index).Fields.ExternalAttributes);
  std::u16string name = CanonicalEntryName(stored);
  TOutput output;
  output.IsFolder = IsFolderName(name);
  if (!createSubdirs) {
    name.erase(0, name.find_last_of(u'\\') + 1);
  }
  output.FilePath = CombinePath(path, name);
  const std::size_t lastSeparator = output.FilePath.find_last_of(u'\\');
  if (createSubdirs && lastSeparator != std::u16string::npos && lastSeparator != 0) {
    output.Folder = ExpandFileName(std::u16string_view(output.FilePath).substr(0, lastSeparator));
    CheckFolderPath(output.Folder);
  }
  return output;
}

TZipFile::TOutput TZipFile::PrepareOutput(int index, std::u16string_view path,
                                          bool createSubdirs) const {
  return PrepareOutput(index, GetFileName(index), path, createSubdirs);
}

// The name is decoded once for the paths and the texts of the data checks.
void TZipFile::Extract(int index, std::u16string_view path, bool createSubdirs) {
  TZipHeader localHeader;
  const std::unique_ptr<TStream> decoder = Read(index, localHeader);
  const std::u16string name = GetFileName(index);
  const TOutput output = PrepareOutput(index, name, path, createSubdirs);
  // A folder that cannot be created is not reported here: creating the file then fails.
  if (!output.Folder.empty()) {
    ForceDirectories(output.Folder);
  }
  if (output.IsFolder) {
    return;
  }
  CopyToFile(index, *decoder, localHeader, output.FilePath, name);
}

void TZipFile::ExtractTo(int index, TStream& output) {
  TZipHeader localHeader;
  const std::unique_ptr<TStream> decoder = Read(index, localHeader);
  CopyEntryData(*decoder, FFiles[static_cast<std::size_t>(index)].Fields,
                (localHeader.Flag & kFlagDataDescriptor) != 0, output, GetFileName(index));
}

void TZipFile::CopyToFile(int index, TStream& decoder, const TZipHeader& localHeader,
                          std::u16string_view filePath, std::u16string_view name) {
  TFileStream file(filePath, kCreateReadWriteExclusive);
  CopyEntryData(decoder, FFiles[static_cast<std::size_t>(index)].Fields,
                (localHeader.Flag & kFlagDataDescriptor) != 0, file, name);
}

void TZipFile::Extract(std::u16string_view name, std::u16string_view path, bool createSubdirs) {
  Extract(IndexOf(name), path, createSubdirs);
}

void TZipFile::ExtractAll(std::u16string_view path) {
  CheckReadable();
  for (int i = 0; i < static_cast<int>(FFiles.size()); ++i) {
    Extract(i, path, true);
  }
}

bool TZipFile::IsValid(std::u16string_view fileName) {
  try {
    TFileStream file(fileName, kOpenReadExclusive);
    TEndRecord record;
    std::string comment;
    return FindEndRecord(file, record, comment);
  } catch (...) {
    return false;
  }
}

void TZipFile::ExtractZipFile(std::u16string_view fileName, std::u16string_view path) {
  TZipFile zip;
  zip.Open(fileName, TZipMode::zmRead);
  zip.ExtractAll(path);
  zip.Close();
}

}  // namespace zelkupd
