#include "zip/zip_texts.h"

#include "runtime/text.h"

namespace zelkupd::texts {

std::u16string ZlibErrorText(int result) {
  switch (result) {
    case -1:
      return u"file error";
    case -2:
      return u"stream error";
    case -3:
      return u"data error";
    case -4:
      return u"insufficient memory";
    case -5:
      return u"buffer error";
    case -6:
      return u"incompatible version";
    default:
      return u"zlib error " + IntToText(result);
  }
}

namespace {
// The name in double quotes between two texts. Built by appending: GCC 12 warns falsely
// (-Wrestrict) on operator+ chains that start with a one-character literal.
std::u16string WithQuotedName(std::u16string_view before, std::u16string_view name,
                              std::u16string_view after) {
  std::u16string text;
  text.reserve(before.size() + name.size() + after.size() + 2);
  text.append(before).append(u"\"").append(name).append(u"\"").append(after);
  return text;
}
}  // namespace

std::u16string UnsafeEntryNameText(std::u16string_view name) {
  return WithQuotedName(u"ファイル名 ", name, u" は安全に展開できません");
}

std::u16string SymbolicLinkEntryText(std::u16string_view name) {
  return WithQuotedName(u"シンボリック リンク ", name, u" は展開できません");
}

std::u16string EncryptedEntryText(std::u16string_view name) {
  return WithQuotedName(u"暗号化されたファイル ", name, u" はサポートされていません");
}

std::u16string CrcMismatchText(std::u16string_view name) {
  return WithQuotedName(u"ファイル ", name, u" の CRC-32 が一致しません");
}

std::u16string SizeMismatchText(std::u16string_view name) {
  return WithQuotedName(u"ファイル ", name, u" のサイズが一致しません");
}

}  // namespace zelkupd::texts
