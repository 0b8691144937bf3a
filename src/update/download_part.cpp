#include "update/download_part.h"

#include <memory>

#include "runtime/errors.h"
#include "runtime/files.h"
#include "runtime/replacement_file.h"
#include "runtime/stream.h"
#include "runtime/text.h"
#include "update/http_range.h"

namespace zelkupd {
namespace {

constexpr std::u16string_view kRecordSuffix = u".zelkupd-resume";
constexpr std::u16string_view kPartSuffix = u".ZIP.ZELKUPD-TMP";
constexpr std::u16string_view kRecordFileSuffix = u".ZIP.ZELKUPD-RESUME";
constexpr std::string_view kRecordHeading = "zelkupd resume 1\n";
// Far above any record the program writes: a URL, a validator and a number.
constexpr std::int64_t kMaxRecordSize = 16384;

bool EndsWithUpper(std::u16string_view name, std::u16string_view suffix) {
  return name.size() > suffix.size() &&
         UpperCase(name.substr(name.size() - suffix.size())) == suffix;
}

// The next line of `bytes` from `at`, without its line end; false when no line end follows.
bool NextLine(std::string_view bytes, std::size_t& at, std::string_view& line) {
  const std::size_t end = bytes.find('\n', at);
  if (end == std::string_view::npos) {
    return false;
  }
  line = bytes.substr(at, end - at);
  at = end + 1;
  return true;
}

}  // namespace

std::u16string ResumeRecordName(std::u16string_view archivePath) {
  return std::u16string(archivePath) + std::u16string(kRecordSuffix);
}

std::optional<TResumeRecord> ReadResumeRecord(std::u16string_view archivePath) {
  std::string bytes;
  try {
    TFileStream file(ResumeRecordName(archivePath), kOpenReadShareRead);
    const std::int64_t size = file.Size();
    if (size <= 0 || size > kMaxRecordSize) {
      return std::nullopt;
    }
    bytes.resize(static_cast<std::size_t>(size));
    file.ReadBuffer(bytes.data(), bytes.size());
  } catch (const Exception&) {
    return std::nullopt;
  }
  const std::string_view text(bytes);
  if (!text.starts_with(kRecordHeading)) {
    return std::nullopt;
  }
  std::size_t at = kRecordHeading.size();
  std::string_view url;
  std::string_view validator;
  std::string_view total;
  TResumeRecord record;
  if (!NextLine(text, at, url) || !NextLine(text, at, validator) || !NextLine(text, at, total) ||
      at != text.size() || !Utf8ToUtf16Strict(url, record.Url) || url.empty()) {
    return std::nullopt;
  }
  record.Validator = Utf8ToUtf16(validator);
  const auto size = ParseDecimal64(Utf8ToUtf16(total));
  if (!IsValidatorText(record.Validator) || !size || *size == 0) {
    return std::nullopt;
  }
  record.Total = *size;
  return record;
}

bool WriteResumeRecord(std::u16string_view archivePath, const TResumeRecord& record) {
  const std::string bytes = std::string(kRecordHeading) + Utf16ToUtf8(record.Url) + "\n" +
                            Utf16ToUtf8(record.Validator) + "\n" +
                            Utf16ToUtf8(DecimalText(record.Total)) + "\n";
  try {
    TFileStream file(ResumeRecordName(archivePath), kCreateWriteExclusive);
    file.WriteBuffer(bytes.data(), bytes.size());
    return file.FlushToDisk();
  } catch (const Exception&) {
    return false;
  }
}

void RemoveResumeRecord(std::u16string_view archivePath) {
  RemoveFile(ResumeRecordName(archivePath));
}

std::uint64_t ResumableBytes(std::u16string_view archivePath, std::u16string_view url) {
  const auto record = ReadResumeRecord(archivePath);
  TFoundFile part;
  if (!record || record->Url != url || !FindFile(ReplacementFileName(archivePath), part) ||
      part.IsDirectory || part.Size >= record->Total) {
    return 0;
  }
  return part.Size;
}

void ReclaimPartFiles(std::u16string_view folder, std::u16string_view keptArchivePath) {
  const std::u16string keptPart =
      keptArchivePath.empty() ? std::u16string() : UpperCase(ReplacementFileName(keptArchivePath));
  const std::u16string keptRecord =
      keptArchivePath.empty() ? std::u16string() : UpperCase(ResumeRecordName(keptArchivePath));
  const std::vector<TDirEntry> entries = ListDirectory(folder);
  for (const TDirEntry& entry : entries) {
    const std::u16string path = std::u16string(folder) + entry.Name;
    if (!entry.IsDirectory && EndsWithUpper(entry.Name, kPartSuffix) &&
        UpperCase(path) != keptPart) {
      RemoveFile(path);
    }
  }
  for (const TDirEntry& entry : entries) {
    const std::u16string path = std::u16string(folder) + entry.Name;
    if (entry.IsDirectory || !EndsWithUpper(entry.Name, kRecordFileSuffix) ||
        UpperCase(path) == keptRecord) {
      continue;
    }
    const std::u16string archive = path.substr(0, path.size() - kRecordSuffix.size());
    if (!FileExists(ReplacementFileName(archive))) {
      RemoveFile(path);
    }
  }
}

}  // namespace zelkupd
