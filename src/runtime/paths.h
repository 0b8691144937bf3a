// Path helpers on Windows-form paths ("\" separators, drive colons). The core always builds paths
// this way; the native bindings translate "\" to "/" where they meet the operating system.
#pragma once

#include <string>
#include <string_view>

namespace zelkupd {

// Everything up to and including the last "\" or ":"; empty when there is none.
std::u16string ExtractFilePath(std::u16string_view path);

// Everything after the last "\" or ":".
std::u16string ExtractFileName(std::u16string_view path);

// Replaces the extension (the text from the last "." that stands after the last "\" or ":") with
// `extension`; a name without one gets `extension` appended.
std::u16string ChangeFileExt(std::u16string_view path, std::u16string_view extension);

// The path with a "\" added unless it already ends in one.
std::u16string IncludeTrailingBackslash(std::u16string_view path);

// The path without its final "\", if it has one.
std::u16string ExcludeTrailingBackslash(std::u16string_view path);

// The full path: a relative path is taken from the current folder, "." and ".." are resolved
// (GetFullPathNameW on Windows).
std::u16string ExpandFileName(std::u16string_view path);

// The path with each short (8.3) name in it replaced by the name the file system keeps
// (GetLongPathNameW on Windows), so that "ZELK32~1.ZIP" is taken as the file it stands for; the
// path as given when that cannot be had, and always natively, where no file has a second name.
std::u16string LongPathName(std::u16string_view path);

// The current folder, without a trailing separator unless it is a root.
std::u16string CurrentDirectory();

}  // namespace zelkupd
