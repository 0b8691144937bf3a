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
std::u16string Quoted(std::u16string_view name) {
  return u"\"" + std::u16string(name) + u"\"";
}
}  // namespace

std::u16string UnsafeEntryNameText(std::u16string_view name) {
  return u"ファイル名 " + Quoted(name) + u" は安全に展開できません";
}

std::u16string SymbolicLinkEntryText(std::u16string_view name) {
  return u"シンボリック リンク " + Quoted(name) + u" は展開できません";
}

std::u16string EncryptedEntryText(std::u16string_view name) {
  return u"暗号化されたファイル " + Quoted(name) + u" はサポートされていません";
}

std::u16string CrcMismatchText(std::u16string_view name) {
  return u"ファイル " + Quoted(name) + u" の CRC-32 が一致しません";
}

std::u16string SizeMismatchText(std::u16string_view name) {
  return u"ファイル " + Quoted(name) + u" のサイズが一致しません";
}

}  // namespace zelkupd::texts
