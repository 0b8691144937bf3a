// The encodings an INI file is read and written in: told apart by the byte-order mark on loading,
// and written back with the same mark.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zelkupd {

// Ansi is the system's ANSI code page (code page 932 natively).
enum class TTextEncoding { Ansi, Utf8, Utf16LE, Utf16BE };

// The encoding that the file's first bytes mark, and the length of that mark; a file without a
// mark, or too short to hold one, is Ansi with no mark.
TTextEncoding DetectEncoding(std::string_view bytes, std::size_t& markLength);

// Decodes the bytes after the mark. Invalid UTF-8 sequences become U+FFFD each, so one bad byte
// cannot cost the file's other lines; a UTF-16 text loses an odd last byte, which is no character.
std::u16string DecodeText(std::string_view bytes, TTextEncoding encoding);

// The mark followed by the encoded text. Ansi has no mark unless the ANSI code page is UTF-8;
// characters it cannot show become its default character.
std::string EncodeText(std::u16string_view text, TTextEncoding encoding);

}  // namespace zelkupd
