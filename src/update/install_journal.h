// The install journal: the write-ahead record of every change an installation attempt makes to
// the installation folder, from which the next start puts back what an interrupted attempt did.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/datetime.h"

namespace zelkupd {

// Where everything lives, inside the installation folder so that putting a file aside is a rename
// on the same volume:
//
//   ZELKUPD.BAK\          the backup folder. A valid 8.3 name in capitals, so the file system
//                         gives it no second, short name an archive entry could reach it by.
//   ZELKUPD.BAK\JOURNAL   the journal.
//   ZELKUPD.BAK\<n>       the old file that backup record n put aside (n = 1, 2, ... in decimal).
//
// The journal is UTF-8 text, one record a line, each line ending in LF, fields separated by TAB.
// Paths are relative to the installation folder in Windows form ("\" only); the folder itself is
// the empty path. Paths never hold a control character (the reader refuses them in entry names),
// so neither separator can occur inside a field. Times are FILETIME ticks in hexadecimal.
//
//   ZELKUPD JOURNAL 1                              the first line
//   times   TAB path TAB creation TAB last-write   an existing folder's times, before the
//                                                  attempt changes anything inside it or stamps it
//   folder  TAB path                               a folder the attempt creates
//   file    TAB path                               a file the attempt creates where none was
//   backup  TAB n TAB creation TAB last-write TAB path
//                                                  an existing file the attempt moves to <n>,
//                                                  with its times
//   settled                                        everything above is settled: the installation
//                                                  stands as it is, and the files the backup
//                                                  records above name are only left to remove
//
// An attempt writes its whole plan, one record for each change, and forces it to the disk before
// its first change; "settled" follows, forced too, once the last entry is in. One forced write
// per attempt instead of one per entry keeps the cost of the journal off each entry.
//
// Why a crash at any point can be resolved: every change that reached the disk has its record.
// The plan was made from the disk as it stood before the attempt, so whatever stands at the path
// of a "file" or "folder" record is the attempt's own. Undoing a record looks at the disk and does
// only what is still to do (a backup that is not there was never made or is already back; a file
// or folder that is not there was never made or is already gone), so a record whose change never
// happened costs nothing and an undo that is itself cut short can simply be run again. A torn
// last line is dropped: nothing it announces had begun. The records after the last "settled" are
// undone newest first, which also undoes several attempts in a row correctly, each restoring what
// the one before had left.
inline constexpr std::u16string_view kBackupFolderName = u"ZELKUPD.BAK";

enum class TJournalAction { Times, Folder, File, Backup, Settled };

struct TJournalRecord {
  TJournalAction Action = TJournalAction::Settled;
  std::u16string Path{};     // relative to the installation folder
  std::uint32_t Backup = 0;  // the backup file's number (Backup)
  TFileTime Creation{};      // Times and Backup
  TFileTime LastWrite{};     // Times and Backup
};

std::u16string BackupFolderPath(std::u16string_view installDir);
std::u16string JournalPath(std::u16string_view installDir);
std::u16string BackupFilePath(std::u16string_view installDir, std::uint32_t number);

// One record as its line, line end included.
std::string FormatJournalRecord(const TJournalRecord& record);
// A whole journal: the first line and a line for each record.
std::string FormatJournal(const std::vector<TJournalRecord>& records);

// The records of a journal's bytes, up to the first line that is torn or malformed; none when the
// first line is not the header. A path that could reach outside the installation folder (a
// leading "\", a colon, a "." or ".." component, a "/" or a control character) makes its line
// malformed.
std::vector<TJournalRecord> ParseJournal(std::string_view bytes);

}  // namespace zelkupd
