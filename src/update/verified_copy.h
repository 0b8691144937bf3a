// The archive as the run verified it, when signatures are required: a copy of exactly the bytes
// whose signature was checked, written as they were hashed into a file beside the installation
// that only this run can open and that the system removes once the run lets go of it, also when
// the run is killed. Every extraction attempt reads that copy, so nothing that another program
// does to the archive's own file meanwhile, and nothing that a network share's server answers to
// a second read, reaches the installation: the archive itself is read once.
#pragma once

#include <memory>
#include <string>

#include "runtime/stream.h"

namespace zelkupd {

// The copy's name in the installation folder, one of the program's own (".zelkupd-tmp"), which
// no archive's part file can take: those end in ".zip.zelkupd-tmp".
inline constexpr char16_t kVerifiedCopyName[] = u"zelkupd-verified.zelkupd-tmp";

// Creates the copy, empty, in `folder` (with a final backslash). A file at its name can only be
// what a power cut left of an earlier run's copy, and is removed first; one that another run
// holds cannot be, and the creation then fails. Raises EFCreateError.
std::unique_ptr<TFileStream> CreateVerifiedCopy(const std::u16string& folder);

}  // namespace zelkupd
