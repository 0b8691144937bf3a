// The hashed lookups under the INI store: the hash itself, last-wins chains, case and index
// rebuilding after changes.
#include "ini/hashed_string_list.h"

#include <gtest/gtest.h>

#include "ini/string_hash.h"

namespace zelkupd {
namespace {

TEST(StringHashTest, HashRotatesLeftByTwoAndXorsEachCodeUnit) {
  EXPECT_EQ(TStringHash::HashOf(u""), 0u);
  EXPECT_EQ(TStringHash::HashOf(u"AB"), (0x41u << 2) ^ 0x42u);
  // The top two bits come round to the bottom: a shift would lose them.
  const std::u16string wrapping = {u'\xC000', 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(TStringHash::HashOf(wrapping), 3u);
}

TEST(HashedStringListTest, LookupsIgnoreCaseAndFindTheLastDuplicate) {
  THashedStringList list;
  list.Add(u"Zelk");
  list.Add(u"a=1");
  list.Add(u"bare");
  list.Add(u"ZELK");
  list.Add(u"A=2=3");
  list.Add(u"=empty name");
  list.Add(u"Ä=umlaut");
  EXPECT_EQ(list.IndexOf(u"zelk"), 3);
  EXPECT_EQ(list.IndexOf(u"BARE"), 2);
  EXPECT_EQ(list.IndexOfName(u"a"), 4);
  EXPECT_EQ(list.IndexOfName(u"ä"), 6);
  EXPECT_EQ(list.IndexOfName(u""), 5);
  EXPECT_EQ(list.IndexOfName(u"bare"), -1) << "a line without = has no name";
  EXPECT_EQ(list.IndexOfName(u" a"), -1) << "the probe is not trimmed";
  EXPECT_EQ(list.IndexOf(u"missing"), -1);
}

TEST(HashedStringListTest, EveryChangeRebuildsBothIndexes) {
  THashedStringList list;
  list.Add(u"A=1");
  list.Add(u"A=2");
  ASSERT_EQ(list.IndexOfName(u"A"), 1);
  ASSERT_EQ(list.IndexOf(u"A=2"), 1);
  list.Put(1, u"B=2");
  EXPECT_EQ(list.IndexOfName(u"A"), 0);
  EXPECT_EQ(list.IndexOfName(u"B"), 1);
  EXPECT_EQ(list.IndexOf(u"A=2"), -1);
  EXPECT_EQ(list.Add(u"a=3"), 2);
  EXPECT_EQ(list.IndexOfName(u"A"), 2);
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.IndexOfName(u"A"), -1);
  EXPECT_EQ(list.IndexOf(u"B=2"), -1);
}

}  // namespace
}  // namespace zelkupd
