// The release page search and the release order of archive names.
#include "update/release_page.h"

#include <gtest/gtest.h>

#include "runtime/codepage.h"
#include "runtime/text.h"
#include "update/site.h"

namespace zelkupd {
namespace {

using TTokens = std::vector<std::u16string>;

TEST(CommaListTokensTest, BlanksAndCommasSeparateTokens) {
  EXPECT_EQ(CommaListTokens(u"  a\tb\r\nc"), (TTokens{u"a", u"b", u"c"}));
  EXPECT_EQ(CommaListTokens(u"a,b , c"), (TTokens{u"a", u"b", u"c"}));
  EXPECT_EQ(CommaListTokens(u"a, ,b"), (TTokens{u"a", u"", u"b"}));
  EXPECT_EQ(CommaListTokens(u"\x01\x1F x \x7F"), (TTokens{u"x", u"\x7F"}));
  EXPECT_TRUE(CommaListTokens(u"").empty());
  EXPECT_TRUE(CommaListTokens(u" \r\n\t").empty());
  EXPECT_EQ(CommaListTokens(std::u16string_view(u"a b\0c,d", 7)), (TTokens{u"a", u"b"}))
      << "the text ends at its first NUL";
}

TEST(CommaListTokensTest, OnlyACommaThatEndsTheTextAddsAnEmptyToken) {
  EXPECT_EQ(CommaListTokens(u"a,"), (TTokens{u"a", u""}));
  EXPECT_EQ(CommaListTokens(u"a, "), (TTokens{u"a"}));
  EXPECT_EQ(CommaListTokens(u","), (TTokens{u"", u""}));
}

TEST(CommaListTokensTest, QuotedTokensKeepBlanksAndCommasAndUndoubleQuotes) {
  EXPECT_EQ(CommaListTokens(u"\"a, b\" c"), (TTokens{u"a, b", u"c"}));
  EXPECT_EQ(CommaListTokens(u"\"say \"\"hi\"\"\""), (TTokens{u"say \"hi\""}));
  EXPECT_EQ(CommaListTokens(u"\"\""), (TTokens{u""}));
  EXPECT_EQ(CommaListTokens(u"\"x\"y,z"), (TTokens{u"x", u"y", u"z"}));
  EXPECT_EQ(CommaListTokens(u"\"no end, here"), (TTokens{u"no end, here"}));
  EXPECT_EQ(CommaListTokens(u"a\"b c"), (TTokens{u"a\"b", u"c"})) << "a quote inside is plain";
}

TEST(CommaListTokensTest, AnAnchorYieldsOneTokenPerAttribute) {
  EXPECT_EQ(CommaListTokens(u"<a id=\"$zelk32$\" href=\"zip/zelk32_156.zip\">最新版</a> 次"),
            (TTokens{u"<a", u"id=\"$zelk32$\"", u"href=\"zip/zelk32_156.zip\">最新版</a>", u"次"}));
}

// FindArchiveLink over a page given as UTF-16 text, stored as the ANSI bytes it would arrive in.
class FindArchiveLinkTest : public ::testing::Test {
 protected:
  void Search(std::u16string_view page) { SearchBytes(EncodeCodePage(page, AnsiCodePage())); }
  void SearchBytes(std::string bytes) {
    state.PageText = std::move(bytes);
    state.TargetUrl = u"http://stale.invalid/vum_zelk.html";
    state.NewFile = u"unchanged.zip";
    FindArchiveLink(state);
  }
  void ExpectNoArchive() {
    EXPECT_EQ(state.TargetUrl, u"");
    EXPECT_EQ(state.NewFile, u"unchanged.zip");
  }

  TUpdateState state;
};

TEST_F(FindArchiveLinkTest, TheHrefAfterTheMarkerIsTakenRelativeToTheSite) {
  Search(
      u"<html>\r\n<p>最新版: <a id=\"$zelk32$\" href=\"zip/zelk32_156.zip\">zelk32_156.zip</a>"
      u"</p>\r\n</html>\r\n");
  EXPECT_EQ(state.TargetUrl, std::u16string(kSiteBaseUrl) + u"zip/zelk32_156.zip");
  EXPECT_EQ(state.NewFile, u"zelk32_156.zip");
}

TEST_F(FindArchiveLinkTest, TheMarkerIsAnExactSubstringAndTheFirstOneWins) {
  Search(u"<a xid=\"$zelk32$\"x href=\"zip/one.zip\"> <a id=\"$zelk32$\" href=\"zip/two.zip\">");
  EXPECT_EQ(state.NewFile, u"one.zip");
  Search(u"<a ID=\"$ZELK32$\" href=\"zip/zelk32_156.zip\"> <a id='$zelk32$' href=\"zip/x.zip\">");
  ExpectNoArchive();
}

TEST_F(FindArchiveLinkTest, ACommaAfterTheMarkerSeparatesToo) {
  Search(u"<a id=\"$zelk32$\",href=\"zip/zelk32_156.zip\">");
  EXPECT_EQ(state.NewFile, u"zelk32_156.zip");
}

TEST_F(FindArchiveLinkTest, OnlyTheTokenRightAfterTheMarkerCounts) {
  Search(u"<a id=\"$zelk32$\" class=\"new\" href=\"zip/zelk32_156.zip\">");
  ExpectNoArchive();
  Search(u"<a id=\"$zelk32$\" HREF=\"zip/zelk32_156.zip\">");
  ExpectNoArchive();
  Search(u"<a href=\"zip/zelk32_156.zip\" id=\"$zelk32$\">");
  ExpectNoArchive();
}

TEST_F(FindArchiveLinkTest, AMarkerInTheLastTokenHasNothingAfterIt) {
  Search(u"<p>\r\n<a id=\"$zelk32$\">");
  ExpectNoArchive();
  Search(u"");
  ExpectNoArchive();
}

TEST_F(FindArchiveLinkTest, ALinkWithoutClosingQuoteOrWithoutTextNamesNoArchive) {
  Search(u"<a id=\"$zelk32$\" href=\"zip/zelk32_156.zip>zelk</a>");
  ExpectNoArchive();
  Search(u"<a id=\"$zelk32$\" href=\"\">");
  ExpectNoArchive();
}

TEST_F(FindArchiveLinkTest, NewFileIsTheLinkWithoutItsFolderAndMustBeAPlainArchiveName) {
  Search(u"<a id=\"$zelk32$\" href=\"new/ZELK32_156.Zip\">");
  EXPECT_EQ(state.TargetUrl, std::u16string(kSiteBaseUrl) + u"new/ZELK32_156.Zip");
  EXPECT_EQ(state.NewFile, u"ZELK32_156.Zip");
  // Each would choose another file of the download folder, or one outside it, to be written.
  for (const char16_t* link :
       {u"abcd", u"zip/", u"zip/ZELK.EXE", u"zip/zelkupd.INI", u"zip/..\\..\\x.zip",
        u"zip/../x.zip", u"archive/zelk32_156.zip", u"zip/C:x.zip", u"zip/con.zip",
        u"zip/a.zip:s.zip", u"http://elsewhere.invalid/z.zip"}) {
    Search(u"<a id=\"$zelk32$\" href=\"" + std::u16string(link) + u"\">");
    ExpectNoArchive();
  }
}

TEST_F(FindArchiveLinkTest, TheFolderIsThreeFileNameCharactersAndASlash) {
  for (const char16_t* folder : {u"zip/", u"Z_1/", u"ゼルク/", u"a.b/", u"~!$/"}) {
    Search(u"<a id=\"$zelk32$\" href=\"" + std::u16string(folder) + u"zelk32_156.zip\">");
    EXPECT_EQ(state.TargetUrl, std::u16string(kSiteBaseUrl) + folder + u"zelk32_156.zip");
    EXPECT_EQ(state.NewFile, u"zelk32_156.zip");
  }
  // Each would put an escape sequence on the console or reshape the request.
  for (const char16_t* folder :
       {u"\x1b[2J", u"z?p/", u"..\\/", u"#ip/", u"%7a/", u"a b/", u"zi:/", u"z*p/", u"\"ip/",
        u"<a>/", u"z|p/", u"zi\x7f/", u"zi\t/", u"zip\\", u"zip:", u"zi/p", u"/zip"}) {
    SCOPED_TRACE(Utf16ToUtf8(folder));
    Search(u"<a id=\"$zelk32$\" href=\"" + std::u16string(folder) + u"zelk32_999.zip\">");
    ExpectNoArchive();
  }
}

TEST_F(FindArchiveLinkTest, ThePageIsDecodedFromTheAnsiCodePageAndEndsAtItsFirstNul) {
  Search(u"<a id=\"$zelk32$\" href=\"zip/ゼルク_156.zip\">");
  EXPECT_EQ(state.NewFile, u"ゼルク_156.zip");
  SearchBytes(std::string("<a id=\"$zelk32$\"\0 href=\"zip/zelk32_156.zip\">", 44));
  ExpectNoArchive();
}

TEST(IsArchiveFileNameTest, OnlyOnePlainFileNameEndingInZipInAnyCaseIsAnArchiveName) {
  for (const char16_t* name :
       {u"zelk32_156.zip", u"ZELK32_157BA.ZIP", u"a.Zip", u".zip", u"ゼルク 156.zip", u"con1.zip",
        u"com10.zip", u"nul_.zip", u"x.con.zip", u"a..zip"}) {
    EXPECT_TRUE(IsArchiveFileName(name)) << Utf16ToUtf8(name);
  }
  for (const char16_t* name :
       {u"", u"zip", u"a.zap", u"ZELK.EXE", u"a.zip.part", u"con.zip", u"CON.ZIP", u"Nul .zip",
        u"aux.tar.zip", u"com0.zip", u"LPT9.zip", u"com\u00B9.zip", u"lpt\u00B3.zip", u"conin$.zip",
        u"CONOUT$.zip", u"prn.zip"}) {
    EXPECT_FALSE(IsArchiveFileName(name)) << Utf16ToUtf8(name);
  }
}

TEST(ArchiveNumberTest, DigitsStandBetweenTheSevenCharacterPrefixAndTheFirstLowerCaseB) {
  EXPECT_EQ(ArchiveNumber(u"zelk32_156.zip"), 156);
  EXPECT_EQ(ArchiveNumber(u"zelk32_157b2.zip"), 157);
  EXPECT_EQ(ArchiveNumber(u"zelk32_0157.zip"), 157);
  EXPECT_EQ(ArchiveNumber(u"XXXXXXX42"), 42) << "the prefix is skipped whatever it is";
  EXPECT_EQ(ArchiveNumber(u"zelk32_157.lzh"), 157);
  EXPECT_EQ(ArchiveNumber(u"zelk32_-5.zip"), -5);
}

TEST(ArchiveNumberTest, NamesOutsideTheSchemeHaveNumberZero) {
  EXPECT_EQ(ArchiveNumber(u"zelk32_157B1.zip"), 0) << "an upper-case B is no beta marker";
  EXPECT_EQ(ArchiveNumber(u"zelk32.zip"), 0);
  EXPECT_EQ(ArchiveNumber(u"zelk32_.zip"), 0);
  EXPECT_EQ(ArchiveNumber(u"zelkb32_156.zip"), 0) << "a b inside the prefix leaves no digits";
  EXPECT_EQ(ArchiveNumber(u"zelk32_1x6.zip"), 0);
  EXPECT_EQ(ArchiveNumber(u"zelk32_156.tar.zip"), 0);
  EXPECT_EQ(ArchiveNumber(u"zelk32_ 156.zip"), 0);
  EXPECT_EQ(ArchiveNumber(u"zelk32_-.zip"), 0);
  EXPECT_EQ(ArchiveNumber(u"zelk32_2147483647.zip"), 2147483647);
  EXPECT_EQ(ArchiveNumber(u"zelk32_-2147483648.zip"), -2147483647 - 1);
  EXPECT_EQ(ArchiveNumber(u"zelk32_2147483648.zip"), 0);
  EXPECT_EQ(ArchiveNumber(u""), 0);
}

TEST(ArchiveNumberTest, OnlyADotAfterTheLastSeparatorStartsTheExtension) {
  EXPECT_EQ(ArchiveNumber(u"zelk32_156"), 156);
  EXPECT_EQ(ArchiveNumber(u"d.x:zelk32_156"), 0) << "the whole name is the base";
}

TEST(BetaRankTest, AReleaseRanksAboveEveryBeta) {
  EXPECT_EQ(BetaRank(u"zelk32_157.zip"), 100000);
  EXPECT_EQ(BetaRank(u"zelk32_157B1.zip"), 100000);
  EXPECT_EQ(BetaRank(u"zelk32_157.b"), 100000) << "a b in the extension does not count";
}

TEST(BetaRankTest, TheBetaCharacterRanksByItsUpperCaseAnsiByte) {
  EXPECT_EQ(BetaRank(u"zelk32_157ba.zip"), 65);
  EXPECT_EQ(BetaRank(u"zelk32_157bA.zip"), 65);
  EXPECT_EQ(BetaRank(u"zelk32_157bb.zip"), 66);
  EXPECT_EQ(BetaRank(u"zelk32_157b1.zip"), 49);
  EXPECT_EQ(BetaRank(u"zelk32_157b2x.zip"), 50) << "only the character right after the b";
  EXPECT_EQ(BetaRank(u"zelk32_157bｱ.zip"), 0xB1) << "a half-width katakana is one byte";
  EXPECT_EQ(BetaRank(u"zelk32_157bａ.zip"), 0x82) << "the first byte of full-width Ａ";
}

TEST(BetaRankTest, ABWithNothingAfterItRanksBelowEveryBetaCharacter) {
  EXPECT_EQ(BetaRank(u"zelk32_157b.zip"), kBareBetaRank);
  EXPECT_EQ(BetaRank(u"zelk32_157b"), kBareBetaRank);
  EXPECT_LT(kBareBetaRank, BetaRank(u"zelk32_157b\x01.zip"));
}

struct TOrderCase {
  const char16_t* Prev;
  const char16_t* New;
  bool Newer;
};

TEST(IsNewerThanPrevTest, FollowsTheReleaseOrder) {
  const TOrderCase cases[] = {
      {u"zelk32_155.zip", u"zelk32_156.zip", true},
      {u"zelk32_156.zip", u"zelk32_155.zip", false},
      {u"zelk32_155.zip", u"zelk32_156b1.zip", true},
      {u"zelk32_157ba.zip", u"zelk32_157bb.zip", true},
      {u"zelk32_157b2.zip", u"zelk32_157.zip", true},
      {u"zelk32_157.zip", u"zelk32_157b3.zip", false},
      {u"zelk32_157.zip", u"zelk32_0157.zip", false},
      {u"zelk32_157.zip", u"zelk32_157.lzh", false},
      {u"zelk32_157bb.zip", u"zelk32_157ba.zip", false},
      {u"zelk32_157b.zip", u"zelk32_157ba.zip", true},
      {u"zelk32_157ba.zip", u"zelk32_157b.zip", false},
      {u"zelk32_157B1.zip", u"zelk32_1.zip", true},
  };
  for (const TOrderCase& c : cases) {
    TUpdateState state;
    state.PrevFile = c.Prev;
    state.NewFile = c.New;
    EXPECT_EQ(IsNewerThanPrev(state), c.Newer)
        << Utf16ToUtf8(c.Prev) << " then " << Utf16ToUtf8(c.New);
  }
}

}  // namespace
}  // namespace zelkupd
