// The plain file name rule, each of its clauses on its own.
#include "runtime/file_names.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "runtime/text.h"

namespace zelkupd {
namespace {

TEST(IsPlainFileNameTest, EachClauseRefusesTheNamesItIsFor) {
  EXPECT_TRUE(IsPlainFileName(u"ゼルク 1.5.txt"));
  for (const char16_t* name : {u"", u"a.", u"a ", u".", u"..", u"Aux.txt", u"a\x1F"}) {
    EXPECT_FALSE(IsPlainFileName(name)) << Utf16ToUtf8(name);
  }
  for (const char16_t forbidden : std::u16string_view(u"\\/:*?\"<>|")) {
    EXPECT_FALSE(IsPlainFileName(std::u16string{u'a', forbidden, u'b'}))
        << static_cast<char>(forbidden);
  }
}

}  // namespace
}  // namespace zelkupd
