// Where an entry goes: the checks on entry names that keep every file inside the target folder,
// the joining of folder and name, and the checks on the folders the reader creates.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zelkupd {

// EArgumentException "パスに無効な文字が含まれています" when the text holds a code point 0 to 31,
// a double quote, "<", ">" or "|".
void CheckPathChars(std::u16string_view path);

// The folder and the name joined: either alone when the other is empty, as they are when the folder
// ends in "\", "/" or ":", else with one "\" between. Both are checked with CheckPathChars first.
std::u16string CombinePath(std::u16string_view folder, std::u16string_view name);

// Refuses an entry that would be written outside the target folder, over another file or to a
// device: a name that starts with "/" or "\", holds a colon (a drive or an NTFS stream), has a
// component other than "." ending in a dot or a space (".." among them, and names Windows would
// silently shorten), or names a reserved device (IsReservedDeviceName); and a symbolic-link entry
// (the Unix file type in the upper half of the external attributes, whatever host made the
// archive). Raises EArgumentException for the characters CheckPathChars refuses and EZipException
// for the rest. Both "/" and "\" separate components here. A "." component names the folder it
// stands in, as archives packed from "." spell every name ("./doc/a.txt").
void CheckEntryName(std::u16string_view name, std::uint32_t externalAttributes);

// A name CheckEntryName accepts in the one spelling that every other spelling of it stands for:
// "\" separators, no empty or "." components, and a final "\" when it names a folder (it ends in
// a separator or in "."). "doc//./a.txt" becomes "doc\a.txt", "./" and "." the empty name.
std::u16string CanonicalEntryName(std::u16string_view name);

// Checks a folder the reader is about to create, given as a full path: EPathTooLongException for
// 260 characters or more unless it has the "\\?\" prefix, ENotSupportedException for a colon
// anywhere but after a drive letter, EDirectoryNotFoundException when its drive does not exist.
void CheckFolderPath(std::u16string_view fullPath);

}  // namespace zelkupd
