#include "install/install_journal.h"

#include <algorithm>
#include <array>
#include <charconv>

#include "runtime/text.h"

namespace zelkupd {
namespace {

constexpr std::string_view kHeader = "ZELKUPD JOURNAL 3\n";
constexpr std::string_view kFormat2Header = "ZELKUPD JOURNAL 2\n";
constexpr std::string_view kFormat1Header = "ZELKUPD JOURNAL 1\n";

struct TActionName {
  TJournalAction Action;
  std::string_view Name;
};
constexpr std::array<TActionName, 8> kActionNames = {{{TJournalAction::Times, "times"},
                                                      {TJournalAction::Folder, "folder"},
                                                      {TJournalAction::Add, "add"},
                                                      {TJournalAction::Replace, "replace"},
                                                      {TJournalAction::Touch, "touch"},
                                                      {TJournalAction::Stamp, "stamp"},
                                                      {TJournalAction::Restore, "restore"},
                                                      {TJournalAction::Settled, "settled"}}};

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

// The fields of one line, read in order; any field that is not what the record needs makes the
// whole line unreadable.
class TFieldReader {
 public:
  explicit TFieldReader(std::string_view line) : FFields(SplitFields(line)) {}

  std::string_view Name() const { return FFields.front(); }
  std::size_t Count() const { return FFields.size(); }
  bool Ok() const { return FOk && FNext == FFields.size(); }

  std::uint64_t Hex() { return Number<std::uint64_t>(16); }
  std::uint32_t Decimal() { return Number<std::uint32_t>(10); }
  TFileTime Time() { return TFileTime::FromTicks(Hex()); }
  std::uint32_t Crc() {
    const std::uint64_t crc = Hex();
    FOk = FOk && crc <= 0xFFFFFFFFu;
    return static_cast<std::uint32_t>(crc);
  }
  std::u16string Path(bool mayBeEmpty) {
    std::u16string path;
    const std::string_view text = Next();
    FOk = FOk && Utf8ToUtf16Strict(text, path) && (mayBeEmpty || !path.empty()) &&
          IsInsideInstallation(path);
    return path;
  }

 private:
  std::string_view Next() {
    if (FNext >= FFields.size()) {
      FOk = false;
      return {};
    }
    return FFields[FNext++];
  }

  template <typename T>
  T Number(int base) {
    const std::string_view text = Next();
    T value{};
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value, base);
    FOk =
        FOk && !text.empty() && result.ec == std::errc() && result.ptr == text.data() + text.size();
    return value;
  }

  // The journal is the program's own file, but it lies in a folder others can write to: a path
  // in it must not steer the install outside the installation folder.
  static bool IsInsideInstallation(std::u16string_view path) {
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
    return std::none_of(path.begin(), path.end(),
                        [](char16_t c) { return c < 32 || c == u':' || c == u'/'; });
  }

  std::vector<std::string_view> FFields;
  std::size_t FNext = 1;
  bool FOk = true;
};

TFileIdentity Identity(std::uint64_t size, TFileTime lastWrite, std::uint32_t crc) {
  return {size, lastWrite, crc, true};
}

std::optional<TJournalRecord> ParseRecord(std::string_view line) {
  TFieldReader fields(line);
  TJournalRecord record;
  const auto kind =
      std::find_if(kActionNames.begin(), kActionNames.end(),
                   [&](const TActionName& entry) { return entry.Name == fields.Name(); });
  if (kind == kActionNames.end()) {
    return std::nullopt;
  }
  record.Action = kind->Action;
  switch (record.Action) {
    case TJournalAction::Times:
    case TJournalAction::Restore:
      record.Path = fields.Path(true);
      record.Creation = fields.Time();
      record.LastWrite = fields.Time();
      break;
    case TJournalAction::Folder:
      record.Path = fields.Path(false);
      break;
    case TJournalAction::Add: {
      record.Number = fields.Decimal();
      const std::uint64_t size = fields.Hex();
      const TFileTime stamp = fields.Time();
      record.New = Identity(size, stamp, fields.Crc());
      record.Path = fields.Path(false);
      break;
    }
    case TJournalAction::Replace: {
      record.Number = fields.Decimal();
      record.Creation = fields.Time();
      const TFileTime lastWrite = fields.Time();
      const std::uint64_t oldSize = fields.Hex();
      record.Old = Identity(oldSize, lastWrite, fields.Crc());
      const std::uint64_t size = fields.Hex();
      const TFileTime stamp = fields.Time();
      record.New = Identity(size, stamp, fields.Crc());
      record.Path = fields.Path(false);
      break;
    }
    case TJournalAction::Touch: {
      record.Creation = fields.Time();
      const TFileTime lastWrite = fields.Time();
      const std::uint64_t size = fields.Hex();
      const std::uint32_t crc = fields.Crc();
      record.Old = Identity(size, lastWrite, crc);
      record.New = Identity(size, fields.Time(), crc);
      record.Path = fields.Path(false);
      break;
    }
    case TJournalAction::Stamp:
      record.Path = fields.Path(true);
      record.LastWrite = fields.Time();
      break;
    case TJournalAction::Settled:
      break;
  }
  if (!fields.Ok() ||
      ((record.Action == TJournalAction::Add || record.Action == TJournalAction::Replace) &&
       record.Number == 0)) {
    return std::nullopt;
  }
  return record;
}

// A line of format 1 or 2. A file or backup record without its two identity fields is one of
// format 1, which format 2 carried on unchanged when it kept an earlier journal's records.
std::optional<TJournalRecord> ParseLegacyRecord(std::string_view line, bool format2) {
  TFieldReader fields(line);
  TJournalRecord record;
  record.Legacy = true;
  const bool file = fields.Name() == "file";
  const bool backup = fields.Name() == "backup";
  if (!file && !backup) {
    const bool known =
        fields.Name() == "times" || fields.Name() == "folder" || fields.Name() == "settled";
    std::optional<TJournalRecord> same = known ? ParseRecord(line) : std::nullopt;
    if (same) {
      same->Legacy = true;
    }
    return same;
  }
  record.Action = file ? TJournalAction::Add : TJournalAction::Replace;
  record.Identified = format2 && fields.Count() == (file ? 4u : 7u);
  if (backup) {
    record.Number = fields.Decimal();
    record.Creation = fields.Time();
    record.Old.LastWrite = fields.Time();
  }
  if (record.Identified) {
    const std::uint64_t size = fields.Hex();
    record.New = {size, fields.Time(), 0, false};
  }
  record.Path = fields.Path(false);
  if (!fields.Ok() || (backup && record.Number == 0)) {
    return std::nullopt;
  }
  return record;
}

}  // namespace

std::string FormatJournalHeader() {
  return std::string(kHeader);
}

std::string FormatJournalRecord(const TJournalRecord& record) {
  std::string line(kActionNames[static_cast<std::size_t>(record.Action)].Name);
  const auto field = [&line](std::string_view text) {
    line += '\t';
    line += text;
  };
  const auto hex = [&field](std::uint64_t value) { field(Hex(value)); };
  const std::string path = Utf16ToUtf8(record.Path);
  switch (record.Action) {
    case TJournalAction::Times:
    case TJournalAction::Restore:
      field(path);
      hex(record.Creation.Ticks());
      hex(record.LastWrite.Ticks());
      break;
    case TJournalAction::Folder:
      field(path);
      break;
    case TJournalAction::Add:
      field(std::to_string(record.Number));
      hex(record.New.Size);
      hex(record.New.LastWrite.Ticks());
      hex(record.New.Crc);
      field(path);
      break;
    case TJournalAction::Replace:
      field(std::to_string(record.Number));
      hex(record.Creation.Ticks());
      hex(record.Old.LastWrite.Ticks());
      hex(record.Old.Size);
      hex(record.Old.Crc);
      hex(record.New.Size);
      hex(record.New.LastWrite.Ticks());
      hex(record.New.Crc);
      field(path);
      break;
    case TJournalAction::Touch:
      hex(record.Creation.Ticks());
      hex(record.Old.LastWrite.Ticks());
      hex(record.New.Size);
      hex(record.New.Crc);
      hex(record.New.LastWrite.Ticks());
      field(path);
      break;
    case TJournalAction::Stamp:
      field(path);
      hex(record.LastWrite.Ticks());
      break;
    case TJournalAction::Settled:
      break;
  }
  line += '\n';
  return line;
}

std::optional<std::vector<TJournalRecord>> ParseJournal(std::string_view bytes) {
  std::vector<TJournalRecord> records;
  const bool format3 = bytes.starts_with(kHeader);
  const bool format2 = bytes.starts_with(kFormat2Header);
  if (!format3 && !format2 && !bytes.starts_with(kFormat1Header)) {
    const bool emptyStart = bytes.find('\n') == std::string_view::npos &&
                            std::string_view("ZELKUPD JOURNAL ").starts_with(bytes.substr(0, 16));
    return emptyStart ? std::optional(records) : std::nullopt;
  }
  std::size_t start = kHeader.size();
  for (;;) {
    const std::size_t end = bytes.find('\n', start);
    if (end == std::string_view::npos) {
      return records;
    }
    const std::string_view line = bytes.substr(start, end - start);
    std::optional<TJournalRecord> record =
        format3 ? ParseRecord(line) : ParseLegacyRecord(line, format2);
    if (!record) {
      return std::nullopt;
    }
    records.push_back(std::move(*record));
    start = end + 1;
  }
}

}  // namespace zelkupd
