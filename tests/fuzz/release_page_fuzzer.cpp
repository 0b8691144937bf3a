// Fuzz target: the release page search on arbitrary page bytes, and the tokeniser under it on
// arbitrary UTF-16 text. A link found must be a non-empty text of the page without quotes, put
// after the site base URL, with NewFile the link after its folder; the folder must be three
// characters a file name may hold (no control character, blank, double quote or any of #%?\/:*<>|)
// and a slash, so that nothing of the link reaches the console as an escape or reshapes the
// request; NewFile put after a download folder must name a file right in that folder, never a
// device; a page that names no archive leaves NewFile alone. The tokens of a text must come back
// unchanged when they are written out again quoted and comma-separated, and blanks before a text
// must not change its tokens.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/code_units.h"
#include "fuzz/fuzz_check.h"
#include "runtime/codepage.h"
#include "runtime/file_names.h"
#include "runtime/paths.h"
#include "update/release_page.h"
#include "update/site.h"

namespace zelkupd::fuzz {
namespace {

constexpr char16_t kUntouched[] = u"(untouched)";

bool IsFolderCharacter(char16_t c) {
  const bool control = c < 0x20 || (c >= 0x7F && c <= 0x9F);
  return !control && std::u16string_view(u" \"#%?\\/:*<>|").find(c) == std::u16string_view::npos;
}
constexpr std::size_t kLinkFolderLength = 4;
const std::u16string kDownloadDir = u"\\ZELK\\";

void CheckLink(std::string_view page) {
  TUpdateState state;
  state.PageText = std::string(page);
  state.TargetUrl = u"(stale)";
  state.NewFile = kUntouched;
  FindArchiveLink(state);
  if (state.TargetUrl.empty()) {
    Require(state.NewFile == kUntouched, "a page that names no archive leaves NewFile alone");
    return;
  }
  const std::u16string_view base = kSiteBaseUrl;
  Require(state.TargetUrl.starts_with(base), "the archive URL starts with the site base URL",
          state.TargetUrl);
  const std::u16string link = state.TargetUrl.substr(base.size());
  Require(!link.empty() && link.find(u'"') == std::u16string::npos,
          "the link is a non-empty text without quotes", link);
  Require(link.size() > kLinkFolderLength && state.NewFile == link.substr(kLinkFolderLength),
          "NewFile is the link after its four-character folder", state.NewFile);
  Require(link[kLinkFolderLength - 1] == u'/' &&
              std::all_of(link.begin(), link.begin() + kLinkFolderLength - 1, IsFolderCharacter),
          "the folder is three characters a file name may hold and a slash", link);
  const std::u16string archivePath = kDownloadDir + state.NewFile;
  Require(ExtractFilePath(archivePath) == kDownloadDir &&
              ExpandFileName(archivePath) == archivePath && !IsReservedDeviceName(state.NewFile) &&
              !state.NewFile.ends_with(u'.') && !state.NewFile.ends_with(u' '),
          "NewFile names a file right in the download folder, never a device", state.NewFile);
  // Quoted tokens only undouble quotes, so a link without quotes is a piece of the page's text.
  const std::u16string text = DecodeCodePage(page, AnsiCodePage());
  Require(std::u16string_view(text).substr(0, text.find(u'\0')).find(link) != std::u16string::npos,
          "the link is a piece of the page before its first NUL", link);
}

std::u16string QuotedList(const std::vector<std::u16string>& tokens) {
  std::u16string text;
  for (const std::u16string& token : tokens) {
    if (!text.empty()) {
      text += u',';
    }
    text += u'"';
    for (const char16_t c : token) {
      text += c == u'"' ? u"\"\"" : std::u16string(1, c);
    }
    text += u'"';
  }
  return text;
}

void CheckTokens(const std::u16string& text) {
  const std::vector<std::u16string> tokens = CommaListTokens(text);
  Require(CommaListTokens(QuotedList(tokens)) == tokens,
          "tokens written out quoted and comma-separated read back the same", text);
  Require(CommaListTokens(u" \t\r\n" + text) == tokens, "blanks before a text change no token",
          text);
}

}  // namespace
}  // namespace zelkupd::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  zelkupd::fuzz::CheckLink(std::string_view(reinterpret_cast<const char*>(data), size));
  zelkupd::fuzz::CheckTokens(zelkupd::fuzz::CodeUnits(data, size));
  return 0;
}
