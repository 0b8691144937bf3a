// What a download keeps of a transfer that broke off, for the next run to go on with: the part
// file (the archive's replacement file) and beside it a resume record naming the URL, the body's
// validator and its whole size. Both names are the program's own, so whatever stands at them in
// the download folder is the leftover of a download, and is reclaimed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zelkupd {

// The record's name beside the archive: the archive's path with ".zelkupd-resume" added.
std::u16string ResumeRecordName(std::u16string_view archivePath);

struct TResumeRecord {
  std::u16string Url;        // the URL the part file's bytes came from
  std::u16string Validator;  // the first answer's ETag, or its Last-Modified where it had none
  std::uint64_t Total = 0;   // the whole body's size, as that answer announced it
};

// The record beside the archive; nullopt when there is none or it is not whole and as written.
std::optional<TResumeRecord> ReadResumeRecord(std::u16string_view archivePath);

// Writes the record beside the archive, forced to the disk; false when it could not be.
bool WriteResumeRecord(std::u16string_view archivePath, const TResumeRecord& record);

void RemoveResumeRecord(std::u16string_view archivePath);

// The bytes of the archive's part file that a download of `url` can go on from: the part's size
// when the record beside the archive names `url` and a whole size above it; 0 when there is
// nothing to go on from.
std::uint64_t ResumableBytes(std::u16string_view archivePath, std::u16string_view url);

// At the start of a download into `folder` (with a final backslash): removes every part file of
// an archive there (a name ending in ".zip.zelkupd-tmp"), except the one of `keptArchivePath`
// when it is not empty, and every resume record whose part file is then gone. A part file that
// another run still writes cannot be removed on Windows, and so keeps its record too.
void ReclaimPartFiles(std::u16string_view folder, std::u16string_view keptArchivePath);

}  // namespace zelkupd
