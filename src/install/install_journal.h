// The install journal: an attempt's every change to the installation, written whole and forced
// to the disk before the first of them, so that the next start can finish or undo an attempt that
// a crash or a power cut interrupted.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "install/file_identity.h"
#include "runtime/datetime.h"

namespace zelkupd {

// The journal is UTF-8 text, one record a line, each line ending in LF, fields separated by TAB.
// Paths are relative to the installation folder in Windows form ("\" only); the folder itself is
// the empty path. Paths never hold a control character (the reader refuses them in entry names),
// so neither separator can occur inside a field. Times are FILETIME ticks, sizes bytes and CRCs
// the CRC-32 of a file's bytes, all in hexadecimal; numbers are decimal.
//
//   ZELKUPD JOURNAL 3                         the first line
//   times   path creation last-write          an existing folder's times before the attempt
//   folder  path                              a folder the attempt makes
//   add     n size stamp crc path             the new file <n>.NEW goes where no file was
//   replace n creation last-write old-size old-crc size stamp crc path
//                                             the old file (its times, size and CRC) goes aside
//                                             as <n>.OLD and the new file <n>.NEW takes its place
//   touch   creation last-write size crc stamp path
//                                             a file whose bytes the release leaves as they are:
//                                             it only gets the stamp as both its times
//   stamp   path time                         a folder entry's time, given as the records before
//                                             it are in place
//   restore path creation last-write          a folder's times to give once the attempt is
//                                             settled: the folders where only files were
//                                             replaced, whose times an extraction in place would
//                                             not have moved
//   settled                                   every change above is in place; what is left in the
//                                             install's folder is only to remove
//
// The records are in the order the attempt makes its changes: folders before what goes in them,
// each file at its first entry. The journal is made whole beside its name and moved there once
// it is on the disk, and every file it names was forced to the disk before: a journal at its name
// means the attempt can always be finished. Only "settled" is appended later, so at most that
// line can be torn; a torn last line is dropped.
//
// The rule between versions: a version reads the journal of every older format and settles it
// (the next start after an update runs the new updater, which must settle whatever the old one
// left), and leaves the journal of a newer format, which it cannot read, alone with everything it
// names. So a change of what a record means takes a new format number, and this version's reader
// keeps every older one.
//
// Formats 1 and 2, written by earlier versions, record the changes of an attempt that writes
// each file in place one after the other: "file [size stamp] path" (a new file, its size and
// time from format 2 on) and "backup n creation last-write [size stamp] path" (the old file put
// aside as <n>). They are read as add and replace records marked Legacy, and such an attempt is
// only ever undone.
enum class TJournalAction { Times, Folder, Add, Replace, Touch, Stamp, Restore, Settled };

struct TJournalRecord {
  TJournalAction Action = TJournalAction::Settled;
  std::u16string Path{};
  // Add, Replace: the target's number; in a legacy record the backup's number, 0 for a new file.
  std::uint32_t Number = 0;
  TFileTime Creation{};    // Times, Restore: the folder's; Replace, Touch: the old file's
  TFileTime LastWrite{};   // Times, Restore: the folder's; Stamp: the folder entry's time
  TFileIdentity Old{};     // Replace, Touch: the old file
  TFileIdentity New{};     // Add, Replace, Touch: the file the attempt leaves at Path
  bool Identified = true;  // New is known (not in format 1)
  bool Legacy = false;     // from a journal of an earlier version
};

// The first line of a journal of this version.
std::string FormatJournalHeader();
// One record as its line, line end included.
std::string FormatJournalRecord(const TJournalRecord& record);

// The records of a journal's bytes, any format, a torn last line dropped; nullopt when the
// journal cannot be fully read: an unknown first line (a newer version's journal), or a line that
// is no record, such as a path that could reach outside the installation folder (a leading "\",
// a colon, a "." or ".." component, a "/" or a control character). Bytes that hold no complete
// line at all and begin as a header might are an empty journal: an earlier version that was cut
// off before its journal reached the disk had changed nothing.
std::optional<std::vector<TJournalRecord>> ParseJournal(std::string_view bytes);

}  // namespace zelkupd
