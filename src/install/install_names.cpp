#include "install/install_names.h"

#include <charconv>

#include "runtime/paths.h"
#include "runtime/replacement_file.h"
#include "runtime/text.h"

namespace zelkupd {
namespace {

constexpr std::u16string_view kStagedSuffix = u".NEW";
constexpr std::u16string_view kOldSuffix = u".OLD";
constexpr std::u16string_view kDeletableSuffix = u".DEL";

std::u16string NumberedPath(std::u16string_view installDir, std::uint32_t number,
                            std::u16string_view suffix) {
  return BackupFolderPath(installDir) + u"\\" + IntToText(number) + std::u16string(suffix);
}

}  // namespace

std::u16string InstalledPath(std::u16string_view installDir, std::u16string_view path) {
  return path.empty() ? ExcludeTrailingBackslash(installDir)
                      : std::u16string(installDir).append(path);
}

std::u16string JoinPath(std::u16string_view parent, std::u16string_view name) {
  std::u16string path(parent);
  if (!path.empty()) {
    path += u'\\';
  }
  return path.append(name);
}

std::u16string BackupFolderPath(std::u16string_view installDir) {
  return std::u16string(installDir) + std::u16string(kBackupFolderName);
}

std::u16string LockPath(std::u16string_view installDir) {
  return BackupFolderPath(installDir) + u"\\LOCK";
}

std::u16string JournalPath(std::u16string_view installDir) {
  return BackupFolderPath(installDir) + u"\\JOURNAL";
}

std::u16string StagedFilePath(std::u16string_view installDir, std::uint32_t number) {
  return NumberedPath(installDir, number, kStagedSuffix);
}

std::u16string OldFilePath(std::u16string_view installDir, std::uint32_t number) {
  return NumberedPath(installDir, number, kOldSuffix);
}

std::u16string LegacyBackupPath(std::u16string_view installDir, std::uint32_t number) {
  return NumberedPath(installDir, number, u"");
}

std::u16string DeletablePath(std::u16string_view installDir, std::uint32_t number) {
  return NumberedPath(installDir, number, kDeletableSuffix);
}

std::u16string JournalDraftPath(std::u16string_view installDir) {
  return ReplacementFileName(JournalPath(installDir));
}

std::u16string KeptFolderPath(std::u16string_view installDir) {
  return BackupFolderPath(installDir) + u"\\KEPT";
}

std::uint32_t InstallFileNumber(std::u16string_view name) {
  if (name.ends_with(kStagedSuffix) || name.ends_with(kOldSuffix) ||
      name.ends_with(kDeletableSuffix)) {
    name.remove_suffix(kStagedSuffix.size());
  }
  const std::string digits = Utf16ToUtf8(name);
  std::uint32_t number = 0;
  const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), number);
  return result.ec == std::errc() && result.ptr == digits.data() + digits.size() ? number : 0;
}

bool IsStagedFileName(std::u16string_view name) {
  return name.ends_with(kStagedSuffix) && InstallFileNumber(name) != 0;
}

bool IsDeletableFileName(std::u16string_view name) {
  return name.ends_with(kDeletableSuffix) && InstallFileNumber(name) != 0;
}

std::u16string TargetKey(std::u16string_view parentKey, std::u16string_view name) {
  return JoinPath(parentKey, UpperCase(name));
}

}  // namespace zelkupd
