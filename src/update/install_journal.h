// The install journal: the write-ahead record of every change an installation attempt makes to
// the installation folder, from which the next start puts back what an interrupted attempt did.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/datetime.h"
#include "runtime/files.h"

namespace zelkupd {

// Where everything lives, inside the installation folder so that putting a file aside is a rename
// on the same volume:
//
//   ZELKUPD.BAK\          the backup folder. A valid 8.3 name in capitals, so the file system
//                         gives it no second, short name an archive entry could reach it by.
//                         Everything in it is the program's own.
//   ZELKUPD.BAK\JOURNAL   the journal.
//   ZELKUPD.BAK\<n>       the old file that backup record n put aside (n = 1, 2, ... in decimal).
//   ZELKUPD.BAK\NEW       an entry's file while it is written, before it takes its place.
//
// The journal is UTF-8 text, one record a line, each line ending in LF, fields separated by TAB.
// Paths are relative to the installation folder in Windows form ("\" only); the folder itself is
// the empty path. Paths never hold a control character (the reader refuses them in entry names),
// so neither separator can occur inside a field. Times are FILETIME ticks and sizes bytes, both
// in hexadecimal.
//
//   ZELKUPD JOURNAL 2                              the first line
//   times   TAB path TAB creation TAB last-write   an existing folder's times, before the
//                                                  attempt changes anything inside it or stamps it
//   folder  TAB path                               a folder the attempt creates
//   file    TAB size TAB stamp TAB path            a file the attempt puts where none was, or
//                                                  puts again over its own: what it looks like
//   backup  TAB n TAB creation TAB last-write TAB size TAB stamp TAB path
//                                                  an existing file the attempt moves to <n>,
//                                                  with its times, and what the attempt's file in
//                                                  its place looks like
//   settled                                        everything above is settled: the installation
//                                                  stands as it is, and the files the backup
//                                                  records above name are only left to remove
//
// An attempt writes its whole plan, one record for each change, and forces it to the disk before
// its first change; "settled" follows, forced too, once the last entry is in. One forced write
// per attempt instead of one per entry keeps the cost of the journal off each entry.
//
// What the attempt writes is known by its size and its last-write time, the entry's stamp: each
// file is written, forced to the disk and stamped as ZELKUPD.BAK\NEW, and only then renamed to
// its path, so a file that the attempt left at a path always has the size and the time its record
// gives. A file at that path that looks otherwise is someone else's, and an undo leaves it as it
// is now (see install_recovery.h).
//
// Why a crash at any point can be resolved: every change that reached the disk has its record,
// and every file the attempt put in place had its data on the disk before. Undoing a record looks
// at the disk and does only what is still to do and provably the attempt's (a backup that is not
// there was never made or is already back; a file that is not there, or not the attempt's, is
// left alone), so a record whose change never happened costs nothing and an undo that is itself
// cut short can simply be run again. The records that reach one path are undone as one target,
// so that an old file already back is never taken for the attempt's. A torn last line is
// dropped: nothing it announces had begun. The records after the last "settled" are undone
// newest first, which also undoes correctly the several attempts in a row that earlier versions
// wrote into one journal; an attempt now never begins while a journal is left to undo.
//
// Format 1, written by earlier versions, has "file TAB path" and "backup TAB n TAB creation TAB
// last-write TAB path": no identities. Format 2 reads them too, as records without one, which
// prove nothing about what stands at their paths.
inline constexpr std::u16string_view kBackupFolderName = u"ZELKUPD.BAK";

enum class TJournalAction { Times, Folder, File, Backup, Settled };

// What a file the attempt wrote looks like.
struct TFileIdentity {
  std::uint64_t Size = 0;
  TFileTime LastWrite{};
  friend bool operator==(const TFileIdentity&, const TFileIdentity&) = default;
};

struct TJournalRecord {
  TJournalAction Action = TJournalAction::Settled;
  std::u16string Path{};     // relative to the installation folder
  std::uint32_t Backup = 0;  // the backup file's number (Backup)
  TFileTime Creation{};      // Times and Backup: the times to put back
  TFileTime LastWrite{};     // Times and Backup
  bool Identified = false;   // File and Backup: Written is known (not so in format 1)
  TFileIdentity Written{};   // File and Backup: the attempt's file at Path
};

// True when `found` is a file that looks as `written` says.
bool LooksWritten(const TFoundFile& found, const TFileIdentity& written);

// A record's path in the installation folder `installDir` (which ends in "\"); the empty path is
// the folder itself, without its trailing separator.
std::u16string InstalledPath(std::u16string_view installDir, std::u16string_view path);
std::u16string BackupFolderPath(std::u16string_view installDir);
std::u16string JournalPath(std::u16string_view installDir);
std::u16string BackupFilePath(std::u16string_view installDir, std::uint32_t number);
std::u16string IncomingFilePath(std::u16string_view installDir);

// One record as its line, line end included.
std::string FormatJournalRecord(const TJournalRecord& record);
// A whole journal: the first line and a line for each record.
std::string FormatJournal(const std::vector<TJournalRecord>& records);

// The records of a journal's bytes (format 1 or 2), up to the first line that is torn or
// malformed; none when the first line is not a header. A path that could reach outside the
// installation folder (a leading "\", a colon, a "." or ".." component, a "/" or a control
// character) makes its line malformed.
std::vector<TJournalRecord> ParseJournal(std::string_view bytes);

}  // namespace zelkupd
