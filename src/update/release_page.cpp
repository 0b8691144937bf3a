#include "update/release_page.h"

#include <algorithm>
#include <limits>

#include "runtime/codepage.h"
#include "runtime/file_names.h"
#include "runtime/paths.h"
#include "runtime/text.h"
#include "update/site.h"

namespace zelkupd {
namespace {

constexpr std::u16string_view kMarker = u"id=\"$zelk32$\"";
constexpr std::u16string_view kHrefOpening = u"href=\"";
constexpr char16_t kQuote = u'"';
constexpr char16_t kSeparator = u',';
constexpr char16_t kBetaMarker = u'b';
constexpr std::size_t kNamePrefixLength = 7;
constexpr std::size_t kLinkFolderLength = 4;  // "zip/"
constexpr std::u16string_view kRefusedInFolder = u" \"#%?\\/:*<>|";
constexpr std::int32_t kReleaseRank = 100000;
constexpr std::u16string_view kArchiveSuffix = u".ZIP";

bool IsBlank(char16_t c) {
  return c >= 1 && c <= 32;
}

std::size_t SkipBlanks(std::u16string_view text, std::size_t at) {
  while (at < text.size() && IsBlank(text[at])) {
    ++at;
  }
  return at;
}

// The quoted token that starts at `at` (on its opening quote); `at` ends after its closing quote,
// or at the end of the text when there is none.
std::u16string QuotedToken(std::u16string_view text, std::size_t& at) {
  std::u16string token;
  ++at;
  while (at < text.size()) {
    if (text[at] == kQuote) {
      if (at + 1 < text.size() && text[at + 1] == kQuote) {
        token.push_back(kQuote);
        at += 2;
        continue;
      }
      ++at;
      break;
    }
    token.push_back(text[at++]);
  }
  return token;
}

// A signed decimal number that fits 32 bits; 0 for anything else, the empty text included.
std::int32_t DecimalOrZero(std::u16string_view digits) {
  std::size_t at = 0;
  const bool negative = !digits.empty() && digits[0] == u'-';
  if (!digits.empty() && (digits[0] == u'-' || digits[0] == u'+')) {
    ++at;
  }
  if (at == digits.size()) {
    return 0;
  }
  const std::int64_t limit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + negative;
  std::int64_t value = 0;
  for (; at < digits.size(); ++at) {
    if (digits[at] < u'0' || digits[at] > u'9') {
      return 0;
    }
    value = value * 10 + (digits[at] - u'0');
    if (value > limit) {
      return 0;
    }
  }
  return static_cast<std::int32_t>(negative ? -value : value);
}

// A character that a file name may hold and that means nothing to a URL or a console: no control
// character (C0, DEL, C1), blank, double quote or any of #%?\/:*<>|.
bool IsFolderCharacter(char16_t c) {
  const bool control = c < 0x20 || (c >= 0x7F && c <= 0x9F);
  return !control && kRefusedInFolder.find(c) == std::u16string_view::npos;
}

// "zip/": three such characters and a slash. Anything else there would put an escape sequence on
// the console, or make the request another one (a query, a fragment, a step up, an encoded
// character) than the folder the site keeps its archives in.
bool StartsWithArchiveFolder(std::u16string_view link) {
  return link.size() > kLinkFolderLength && link[kLinkFolderLength - 1] == u'/' &&
         std::all_of(link.begin(), link.begin() + kLinkFolderLength - 1, IsFolderCharacter);
}

// The name without the extension that follows its last "\" or ":".
std::u16string NameBase(std::u16string_view name) {
  return ChangeFileExt(name, u"");
}

// The tokens of a text one at a time, so that a search that stops early, or holds only the token
// it looks at, never holds the list of a whole page. A NUL is no blank and ends no unquoted token,
// so the scan would stand on it for ever: the text ends at its first NUL.
class TCommaListReader {
 public:
  explicit TCommaListReader(std::u16string_view text)
      : FText(text.substr(0, text.find(u'\0'))), FAt(SkipBlanks(FText, 0)) {}

  // The next token into `token`; false when the text has no more.
  bool Next(std::u16string& token) {
    if (FEmptyTokenDue) {
      FEmptyTokenDue = false;
      token.clear();
      return true;
    }
    if (FAt >= FText.size()) {
      return false;
    }
    if (FText[FAt] == kQuote) {
      token = QuotedToken(FText, FAt);
    } else {
      const std::size_t start = FAt;
      while (FAt < FText.size() && FText[FAt] > 32 && FText[FAt] != kSeparator) {
        ++FAt;
      }
      token = FText.substr(start, FAt - start);
    }
    FAt = SkipBlanks(FText, FAt);
    if (FAt < FText.size() && FText[FAt] == kSeparator) {
      // Only a comma that ends the text adds an empty token.
      FEmptyTokenDue = FAt + 1 == FText.size();
      FAt = SkipBlanks(FText, FAt + 1);
    }
    return true;
  }

 private:
  std::u16string_view FText;
  std::size_t FAt;
  bool FEmptyTokenDue = false;
};

}  // namespace

std::vector<std::u16string> CommaListTokens(std::u16string_view text) {
  std::vector<std::u16string> tokens;
  TCommaListReader reader(text);
  std::u16string token;
  while (reader.Next(token)) {
    tokens.push_back(token);
  }
  return tokens;
}

void FindArchiveLink(TUpdateState& state) {
  state.TargetUrl.clear();
  // The token right after the first one that holds the marker; none after a marker in the last.
  std::u16string next;
  {
    const std::u16string page = DecodeCodePage(state.PageText, AnsiCodePage());
    TCommaListReader reader(page);
    std::u16string token;
    bool marked = false;
    while (!marked && reader.Next(token)) {
      marked = token.find(kMarker) != std::u16string::npos;
    }
    if (!marked || !reader.Next(next)) {
      return;
    }
  }
  if (!next.starts_with(kHrefOpening)) {
    return;
  }
  const std::u16string_view value = std::u16string_view(next).substr(kHrefOpening.size());
  const std::size_t close = value.find(kQuote);
  if (close == std::u16string_view::npos || close == 0) {
    return;
  }
  const std::u16string_view link = value.substr(0, close);
  if (!StartsWithArchiveFolder(link)) {
    return;
  }
  const std::u16string_view name = link.substr(kLinkFolderLength);
  if (!IsArchiveFileName(name)) {
    return;
  }
  state.NewFile = std::u16string(name);
  state.TargetUrl = std::u16string(kSiteBaseUrl) + std::u16string(link);
}

bool IsArchiveFileName(std::u16string_view name) {
  const bool urlSafe = std::none_of(name.begin(), name.end(), [](char16_t c) {
    return c == u'#' || c == u'%' || (c >= 0x7F && c <= 0x9F);
  });
  return urlSafe && IsPlainFileName(name) && name.size() >= kArchiveSuffix.size() &&
         UpperCase(name.substr(name.size() - kArchiveSuffix.size())) == kArchiveSuffix;
}

std::int32_t ArchiveNumber(std::u16string_view name) {
  const std::u16string base = NameBase(name);
  const std::size_t beta = std::min(base.find(kBetaMarker), base.size());
  if (beta <= kNamePrefixLength) {
    return 0;
  }
  return DecimalOrZero(
      std::u16string_view(base).substr(kNamePrefixLength, beta - kNamePrefixLength));
}

std::int32_t BetaRank(std::u16string_view name) {
  const std::u16string base = NameBase(name);
  const std::size_t beta = base.find(kBetaMarker);
  if (beta == std::u16string::npos) {
    return kReleaseRank;
  }
  if (beta + 1 == base.size()) {
    return kBareBetaRank;
  }
  const std::string ansi =
      EncodeCodePage(UpperCase(std::u16string_view(base).substr(beta + 1, 1)), AnsiCodePage());
  return ansi.empty() ? kBareBetaRank : static_cast<unsigned char>(ansi[0]);
}

bool IsNewerThanPrev(const TUpdateState& state) {
  const std::int32_t prev = ArchiveNumber(state.PrevFile);
  const std::int32_t next = ArchiveNumber(state.NewFile);
  if (prev != next) {
    return prev < next;
  }
  return BetaRank(state.PrevFile) < BetaRank(state.NewFile);
}

}  // namespace zelkupd
