// Where the install keeps what it owns, and how it names a path of the installation. Everything
// the install writes before it is in place lives in one folder of its own inside the installation
// folder, so that putting a file in place or aside is a rename on one volume, and nothing else in
// the installation is ever taken for the program's:
//
//   ZELKUPD.BAK\          the install's folder. A valid 8.3 name in capitals, so the file system
//                         gives it no second, short name an archive entry could reach it by; an
//                         entry inside it is refused. Everything in it is the program's own.
//   ZELKUPD.BAK\LOCK      the one-attempt lock, held from before an earlier attempt is settled to
//                         the end of an attempt or of the settling at start-up.
//   ZELKUPD.BAK\JOURNAL   the journal of an attempt whose new files are all staged and forced to
//                         the disk (install_journal.h).
//   ZELKUPD.BAK\<n>.NEW   target n's new file, staged.
//   ZELKUPD.BAK\<n>.OLD   target n's old file, put aside while its new one takes its place.
//   ZELKUPD.BAK\<n>.DEL   an old file of a settled attempt that could not be removed then (the
//                         running updater's own image): only to remove, by any later start.
//   ZELKUPD.BAK\JOURNAL.zelkupd-tmp
//                         the journal while it is written, there from before the first file is
//                         staged; also the journal of an attempt wholly undone. While it stands,
//                         nothing of its attempt is in place.
//   ZELKUPD.BAK\KEPT\     old files found put aside without a journal: kept for the user, as
//                         nothing tells where they belong.
//   ZELKUPD.BAK\<n>, NEW  an old file put aside and a file being written, in the journals of
//                         earlier versions.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zelkupd {

inline constexpr std::u16string_view kBackupFolderName = u"ZELKUPD.BAK";

// A path of the installation folder `installDir` (which ends in "\") from its relative form; the
// empty path is the folder itself, without its trailing separator.
std::u16string InstalledPath(std::u16string_view installDir, std::u16string_view path);
// Two relative paths joined by "\"; the empty path is the installation folder.
std::u16string JoinPath(std::u16string_view parent, std::u16string_view name);

std::u16string BackupFolderPath(std::u16string_view installDir);
std::u16string LockPath(std::u16string_view installDir);
std::u16string JournalPath(std::u16string_view installDir);
std::u16string StagedFilePath(std::u16string_view installDir, std::uint32_t number);
std::u16string OldFilePath(std::u16string_view installDir, std::uint32_t number);
std::u16string LegacyBackupPath(std::u16string_view installDir, std::uint32_t number);
std::u16string DeletablePath(std::u16string_view installDir, std::uint32_t number);
std::u16string JournalDraftPath(std::u16string_view installDir);
std::u16string KeptFolderPath(std::u16string_view installDir);

// The number in the name of a file of the install's folder ("<n>", "<n>.NEW", "<n>.OLD" or
// "<n>.DEL"); 0 for any other name.
std::uint32_t InstallFileNumber(std::u16string_view name);
// Whether the name is that of a staged file, "<n>.NEW".
bool IsStagedFileName(std::u16string_view name);
// Whether the name is that of a file only to remove, "<n>.DEL".
bool IsDeletableFileName(std::u16string_view name);

// The identity of a path in the plan: the path in upper case, component by component as the file
// system stores the names that exist, so that a short 8.3 name, another letter case or the "."
// and doubled separators the reader has already dropped all reach one key.
std::u16string TargetKey(std::u16string_view parentKey, std::u16string_view name);

}  // namespace zelkupd
