#include "zip/entry_paths.h"

#include <gtest/gtest.h>

#include <utility>

#include "runtime/errors.h"
#include "runtime/text.h"
#include "support/raises.h"
#include "zip/zip_texts.h"

namespace zelkupd {
namespace {

TEST(EntryPathsTest, NamesThatLeaveTheFolderOrAliasAnotherFileAreRefused) {
  for (const std::u16string name : {u"/etc/passwd",  u"\\windows\\x.dll",
                                    u"C:x",          u"c:/x",
                                    u"a.txt:stream", u"sub/b:c/d",
                                    u"..",           u"../x",
                                    u"a/../../x",    u"a\\..\\..\\x",
                                    u"a/..",         u"...",
                                    u"./..",         u"dir./x",
                                    u"x.",           u"x ",
                                    u"dir /x",       u"CON",
                                    u"con.txt",      u"Nul",
                                    u"aux.h",        u"PRN.log.gz",
                                    u"nul .txt",     u"COM1",
                                    u"com9.log",     u"LPT1",
                                    u"lpt9",         u"sub/nul.txt",
                                    u"CONOUT$"}) {
    EXPECT_TRUE(test::Raises([&] { CheckEntryName(name, 0); }, "EZipException",
                             texts::UnsafeEntryNameText(name)))
        << Utf16ToUtf8(name);
  }
}

TEST(EntryPathsTest, OrdinaryNamesPass) {
  for (const std::u16string name :
       {u"a.txt", u"doc/readme.txt", u"sub/", u"", u".hidden", u"x..y", u"CONSOLE.txt", u"COM10",
        u"LPT", u"com.txt", u"a b/c d.txt", u"日本語/ファイル.txt", u"a//b", u".", u"./x"}) {
    EXPECT_NO_THROW(CheckEntryName(name, 0100644u << 16));
  }
  EXPECT_NO_THROW(CheckEntryName(u"dir/", 040755u << 16));
  EXPECT_NO_THROW(CheckEntryName(u"a.txt", 0x20));
}

TEST(EntryPathsTest, LinksAndInvalidCharactersAreRefused) {
  EXPECT_TRUE(test::Raises([] { CheckEntryName(u"lib/link.so", 0120777u << 16); }, "EZipException",
                           texts::SymbolicLinkEntryText(u"lib/link.so")));
  for (const std::u16string name : {u"a\x01", u"a\"b", u"a<b", u"a>b", u"a|b"}) {
    EXPECT_THROW(CheckEntryName(name, 0), EArgumentException);
    EXPECT_THROW(CombinePath(u"dir\\", name), EArgumentException);
    EXPECT_THROW(CombinePath(name, u"x"), EArgumentException);
  }
}

TEST(EntryPathsTest, EverySpellingOfANameHasOneCanonicalForm) {
  for (const auto& [name, canonical] :
       {std::pair{u"./", u""}, std::pair{u".", u""}, std::pair{u"a//./b.txt", u"a\\b.txt"},
        std::pair{u"./doc/.", u"doc\\"}, std::pair{u"a\\b//", u"a\\b\\"}}) {
    EXPECT_EQ(CanonicalEntryName(name), canonical) << Utf16ToUtf8(name);
  }
}

TEST(EntryPathsTest, CombineJoinsWithOneBackslash) {
  EXPECT_EQ(CombinePath(u"", u"a"), u"a");
  EXPECT_EQ(CombinePath(u"d", u""), u"d");
  EXPECT_EQ(CombinePath(u"d", u"a"), u"d\\a");
  EXPECT_EQ(CombinePath(u"d\\", u"a"), u"d\\a");
  EXPECT_EQ(CombinePath(u"d/", u"a"), u"d/a");
  EXPECT_EQ(CombinePath(u"C:", u"a"), u"C:a");
}

TEST(EntryPathsTest, FolderPathsAreCheckedForLengthColonsAndDrive) {
  EXPECT_NO_THROW(CheckFolderPath(u"\\" + std::u16string(258, u'x')));
  EXPECT_THROW(CheckFolderPath(u"\\" + std::u16string(259, u'x')), EPathTooLongException);
  EXPECT_THROW(CheckFolderPath(u"\\tmp\\a:b"), ENotSupportedException);
  EXPECT_THROW(CheckFolderPath(u"1:\\x"), ENotSupportedException);
  EXPECT_THROW(CheckFolderPath(u"Q:\\x:y"), ENotSupportedException);
  EXPECT_TRUE(test::Raises([] { CheckFolderPath(u"Q:\\no drive"); }, "EDirectoryNotFoundException",
                           texts::kDriveNotFound));
}

}  // namespace
}  // namespace zelkupd
