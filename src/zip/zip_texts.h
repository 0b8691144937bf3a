// The messages of the ZIP reader's exceptions. None reaches the user: the extraction turns every
// failure into its one console line, so the texts serve the tests and whoever debugs an archive.
#pragma once

#include <string>
#include <string_view>

namespace zelkupd::texts {

inline constexpr char16_t kZipReadError[] = u"zip ファイルを読み取る際にエラーが発生しました";
inline constexpr char16_t kInvalidCentralSignature[] =
    u"Zip セントラル ヘッダーのシグネチャが無効です";
inline constexpr char16_t kInvalidLocalSignature[] = u"Zip ローカル ヘッダーのシグネチャが無効です";
inline constexpr char16_t kZipMustBeOpen[] = u"ファイルは開いておく必要があります";
inline constexpr char16_t kZipMustBeOpenForReading[] =
    u"ファイルは読み取り用に開いておく必要があります";
inline constexpr char16_t kZipFileNotFound[] = u"指定されたファイルが見つかりません";
inline constexpr char16_t kInvalidArgument[] = u"引数が無効です";
inline constexpr char16_t kArgumentOutOfRange[] = u"引数が範囲外です";
inline constexpr char16_t kItemNotFound[] = u"項目が見つかりません";
inline constexpr char16_t kInvalidZStreamOperation[] = u"Invalid ZStream operation!";
inline constexpr char16_t kInvalidPathChars[] = u"パスに無効な文字が含まれています";
inline constexpr char16_t kPathTooLong[] = u"指定されたパスが長すぎます";
inline constexpr char16_t kPathFormatNotSupported[] = u"パスの形式がサポートされていません";
inline constexpr char16_t kDriveNotFound[] = u"ドライブが見つかりません";

// zlib's text for one of its negative result codes.
std::u16string ZlibErrorText(int result);

// The rejections of entries that would be extracted unsafely or wrongly. Each names the entry as
// the archive stores it.
std::u16string UnsafeEntryNameText(std::u16string_view name);  // outside the folder, alias, device
std::u16string SymbolicLinkEntryText(std::u16string_view name);
std::u16string EncryptedEntryText(std::u16string_view name);
std::u16string CrcMismatchText(std::u16string_view name);
std::u16string SizeMismatchText(std::u16string_view name);

}  // namespace zelkupd::texts
