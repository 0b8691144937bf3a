#include "update/settings.h"

#include "ini/mem_ini_file.h"
#include "runtime/paths.h"

namespace zelkupd {
namespace {

constexpr char16_t kSection[] = u"ZELK";
constexpr char16_t kPrevFileKey[] = u"PREV_FILE";
constexpr char16_t kDownPathKey[] = u"DOWN_PATH";
constexpr char16_t kDeleteKey[] = u"DELETE";

std::u16string SettingsFileOf(TRunContext& ctx) {
  return SettingsFileName(ctx.System.ModuleFileName());
}

}  // namespace

std::u16string SettingsFileName(std::u16string_view executablePath) {
  return ChangeFileExt(executablePath, u".INI");
}

std::u16string Unquote(std::u16string_view text, char16_t quote) {
  if (text.empty() || text.front() != quote) {
    return std::u16string(text);
  }
  std::u16string inner;
  bool closed = false;
  std::size_t i = 1;
  while (i < text.size()) {
    if (text[i] != quote) {
      inner.push_back(text[i++]);
    } else if (i + 1 < text.size() && text[i + 1] == quote) {
      inner.push_back(quote);
      i += 2;
    } else {
      closed = true;
      break;
    }
  }
  if (text.back() != quote && (inner.empty() || !closed)) {
    return std::u16string(text);
  }
  return inner;
}

void ReadSettings(TRunContext& ctx) {
  TUpdateState& s = ctx.State;
  {
    const TMemIniFile ini(SettingsFileOf(ctx));
    s.PrevFile = ini.ReadString(kSection, kPrevFileKey, u"");
    s.DownPath = ini.ReadString(kSection, kDownPathKey, u"");
    s.DeleteMode = ini.ReadInteger(kSection, kDeleteKey, 0);
  }
  if (!s.DownPath.empty()) {
    s.DownPath = Unquote(s.DownPath, u'"');
  }
}

void WriteSettings(TRunContext& ctx) {
  if (ctx.State.NewFile.empty()) {
    return;
  }
  // A store of its own, so the write starts from the file as it stands now.
  TMemIniFile ini(SettingsFileOf(ctx));
  ini.WriteString(kSection, kPrevFileKey, ctx.State.NewFile);
  ini.UpdateFile();
}

}  // namespace zelkupd
