#include "update/install_journal.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>

#include "runtime/paths.h"
#include "runtime/text.h"

namespace zelkupd {
namespace {

constexpr std::string_view kHeader = "ZELKUPD JOURNAL 2\n";
constexpr std::string_view kFormat1Header = "ZELKUPD JOURNAL 1\n";

struct TActionName {
  TJournalAction Action;
  std::string_view Name;
};
constexpr std::array<TActionName, 5> kActionNames = {{{TJournalAction::Times, "times"},
                                                      {TJournalAction::Folder, "folder"},
                                                      {TJournalAction::File, "file"},
                                                      {TJournalAction::Backup, "backup"},
                                                      {TJournalAction::Settled, "settled"}}};

std::string_view ActionName(TJournalAction action) {
  for (const TActionName& entry : kActionNames) {
    if (entry.Action == action) {
      return entry.Name;
    }
  }
  return {};
}

std::string Hex(std::uint64_t value) {
  std::array<char, 16> digits{};
  const auto result = std::to_chars(digits.data(), digits.data() + digits.size(), value, 16);
  return std::string(digits.data(), result.ptr);
}

std::vector<std::string_view> SplitFields(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string_view::npos ? tab : tab - start));
    if (tab == std::string_view::npos) {
      return fields;
    }
    start = tab + 1;
  }
}

template <typename T>
std::optional<T> ParseNumber(std::string_view text, int base) {
  T value{};
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size()) {
    return std::nullopt;
  }
  return value;
}

std::optional<TFileTime> ParseTime(std::string_view text) {
  const std::optional<std::uint64_t> ticks = ParseNumber<std::uint64_t>(text, 16);
  return ticks ? std::optional<TFileTime>(TFileTime::FromTicks(*ticks)) : std::nullopt;
}

// The journal is the program's own file, but it lies in a folder others can write to: a path in
// it must not steer the restore outside the installation folder.
bool IsInsideInstallation(std::u16string_view path) {
  if (path.starts_with(u'\\')) {
    return false;
  }
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t end = std::min(path.find(u'\\', start), path.size());
    const std::u16string_view component = path.substr(start, end - start);
    if (component == u"." || component == u"..") {
      return false;
    }
    start = end + 1;
  }
  for (const char16_t c : path) {
    if (c < 32 || c == u':' || c == u'/') {
      return false;
    }
  }
  return true;
}

std::optional<std::u16string> ParsePath(std::string_view text, bool mayBeEmpty) {
  std::u16string path;
  if (!Utf8ToUtf16Strict(text, path) || (path.empty() && !mayBeEmpty) ||
      !IsInsideInstallation(path)) {
    return std::nullopt;
  }
  return path;
}

std::optional<TFileIdentity> ParseIdentity(std::string_view size, std::string_view stamp) {
  const std::optional<std::uint64_t> bytes = ParseNumber<std::uint64_t>(size, 16);
  const std::optional<TFileTime> time = ParseTime(stamp);
  return bytes && time ? std::optional(TFileIdentity{*bytes, *time}) : std::nullopt;
}

// A file or backup record without its two identity fields is one of format 1, which format 2
// carries on unchanged when it keeps an earlier journal's records.
std::optional<TJournalRecord> ParseRecord(std::string_view line, bool format2) {
  const std::vector<std::string_view> fields = SplitFields(line);
  TJournalRecord record;
  const TActionName* kind = nullptr;
  for (const TActionName& entry : kActionNames) {
    if (entry.Name == fields[0]) {
      kind = &entry;
    }
  }
  if (kind == nullptr) {
    return std::nullopt;
  }
  record.Action = kind->Action;
  const bool identified =
      format2 && ((record.Action == TJournalAction::File && fields.size() == 4) ||
                  (record.Action == TJournalAction::Backup && fields.size() == 7));
  const std::size_t identityFields = identified ? 2 : 0;
  std::optional<std::u16string> path;
  switch (record.Action) {
    case TJournalAction::Settled:
      return fields.size() == 1 ? std::optional(record) : std::nullopt;
    case TJournalAction::Folder:
      if (fields.size() != 2 || !(path = ParsePath(fields[1], false))) {
        return std::nullopt;
      }
      break;
    case TJournalAction::File:
      if (fields.size() != 2 + identityFields || !(path = ParsePath(fields.back(), false))) {
        return std::nullopt;
      }
      break;
    case TJournalAction::Times: {
      if (fields.size() != 4) {
        return std::nullopt;
      }
      const std::optional<TFileTime> creation = ParseTime(fields[2]);
      const std::optional<TFileTime> lastWrite = ParseTime(fields[3]);
      if (!creation || !lastWrite || !(path = ParsePath(fields[1], true))) {
        return std::nullopt;
      }
      record.Creation = *creation;
      record.LastWrite = *lastWrite;
      break;
    }
    case TJournalAction::Backup: {
      if (fields.size() != 5 + identityFields) {
        return std::nullopt;
      }
      const std::optional<std::uint32_t> number = ParseNumber<std::uint32_t>(fields[1], 10);
      const std::optional<TFileTime> creation = ParseTime(fields[2]);
      const std::optional<TFileTime> lastWrite = ParseTime(fields[3]);
      if (!number || *number == 0 || !creation || !lastWrite ||
          !(path = ParsePath(fields.back(), false))) {
        return std::nullopt;
      }
      record.Backup = *number;
      record.Creation = *creation;
      record.LastWrite = *lastWrite;
      break;
    }
  }
  if (identified) {
    const std::size_t at = fields.size() - 3;
    const std::optional<TFileIdentity> written = ParseIdentity(fields[at], fields[at + 1]);
    if (!written) {
      return std::nullopt;
    }
    record.Identified = true;
    record.Written = *written;
  }
  record.Path = std::move(*path);
  return record;
}

}  // namespace

std::u16string BackupFolderPath(std::u16string_view installDir) {
  return std::u16string(installDir) + std::u16string(kBackupFolderName);
}

std::u16string InstalledPath(std::u16string_view installDir, std::u16string_view path) {
  return path.empty() ? ExcludeTrailingBackslash(installDir)
                      : std::u16string(installDir).append(path);
}

std::u16string JournalPath(std::u16string_view installDir) {
  return BackupFolderPath(installDir) + u"\\JOURNAL";
}

std::u16string BackupFilePath(std::u16string_view installDir, std::uint32_t number) {
  return BackupFolderPath(installDir) + u"\\" + IntToText(number);
}

std::u16string IncomingFilePath(std::u16string_view installDir) {
  return BackupFolderPath(installDir) + u"\\NEW";
}

bool LooksWritten(const TFoundFile& found, const TFileIdentity& written) {
  return !found.IsDirectory && found.Size == written.Size && found.LastWrite == written.LastWrite;
}

std::string FormatJournal(const std::vector<TJournalRecord>& records) {
  std::string bytes(kHeader);
  for (const TJournalRecord& record : records) {
    bytes += FormatJournalRecord(record);
  }
  return bytes;
}

std::string FormatJournalRecord(const TJournalRecord& record) {
  std::string line(ActionName(record.Action));
  const auto field = [&line](std::string_view text) {
    line += '\t';
    line += text;
  };
  const auto identity = [&field, &record] {
    if (record.Identified) {
      field(Hex(record.Written.Size));
      field(Hex(record.Written.LastWrite.Ticks()));
    }
  };
  const std::string path = Utf16ToUtf8(record.Path);
  switch (record.Action) {
    case TJournalAction::Settled:
      break;
    case TJournalAction::Folder:
      field(path);
      break;
    case TJournalAction::File:
      identity();
      field(path);
      break;
    case TJournalAction::Times:
      field(path);
      field(Hex(record.Creation.Ticks()));
      field(Hex(record.LastWrite.Ticks()));
      break;
    case TJournalAction::Backup:
      field(std::to_string(record.Backup));
      field(Hex(record.Creation.Ticks()));
      field(Hex(record.LastWrite.Ticks()));
      identity();
      field(path);
      break;
  }
  line += '\n';
  return line;
}

std::vector<TJournalRecord> ParseJournal(std::string_view bytes) {
  std::vector<TJournalRecord> records;
  const bool format2 = bytes.starts_with(kHeader);
  if (!format2 && !bytes.starts_with(kFormat1Header)) {
    return records;
  }
  std::size_t start = kHeader.size();
  for (;;) {
    const std::size_t end = bytes.find('\n', start);
    if (end == std::string_view::npos) {
      return records;
    }
    std::optional<TJournalRecord> record = ParseRecord(bytes.substr(start, end - start), format2);
    if (!record) {
      return records;
    }
    records.push_back(std::move(*record));
    start = end + 1;
  }
}

}  // namespace zelkupd
