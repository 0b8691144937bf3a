#include "stand_in/options.h"

#include <map>
#include <vector>

#include "common/arguments.h"
#include "common/utf8.h"
#include "runtime/win32/scoped_handle.h"

namespace zelkupd::test {
namespace {

using TSettings = std::map<std::wstring, std::wstring>;

std::wstring EnvironmentValue(const wchar_t* name) {
  const DWORD size = ::GetEnvironmentVariableW(name, nullptr, 0);
  if (size == 0) {
    return {};
  }
  std::wstring value(size, L'\0');
  value.resize(::GetEnvironmentVariableW(name, value.data(), size));
  return value;
}

// The executable's name without folder and extension: ZELK for ...\ZELK.EXE.
std::wstring OwnBaseName() {
  std::wstring path(MAX_PATH, L'\0');
  path.resize(::GetModuleFileNameW(nullptr, path.data(), MAX_PATH));
  std::wstring name = path.substr(path.find_last_of(L"\\/:") + 1);
  return name.substr(0, name.find_last_of(L'.'));
}

std::string ReadWholeFile(const std::wstring& path) {
  const TScopedFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  std::string content;
  if (!file.IsValid()) {
    return content;
  }
  char block[4096];
  DWORD read = 0;
  while (::ReadFile(file.Get(), block, sizeof block, &read, nullptr) != FALSE && read > 0) {
    content.append(block, read);
  }
  return content;
}

std::wstring Trimmed(const std::wstring& text) {
  const std::size_t first = text.find_first_not_of(L" \t\r");
  if (first == std::wstring::npos) {
    return {};
  }
  return text.substr(first, text.find_last_not_of(L" \t\r") - first + 1);
}

void ReadSideFile(const std::wstring& path, TSettings& settings) {
  const std::wstring text = FromUtf8(ReadWholeFile(path));
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(L'\n', start);
    if (end == std::wstring::npos) {
      end = text.size();
    }
    const std::wstring line = Trimmed(text.substr(start, end - start));
    const std::size_t equals = line.find(L'=');
    if (!line.empty() && line[0] != L'#' && equals != std::wstring::npos) {
      settings[Trimmed(line.substr(0, equals))] = Trimmed(line.substr(equals + 1));
    }
    start = end + 1;
  }
}

void ReadCommandLine(TSettings& settings) {
  const std::vector<std::wstring> arguments = CommandLineArguments();
  std::size_t i = 0;
  while (i < arguments.size()) {
    std::wstring key = arguments[i];
    if (key.rfind(L"--", 0) != 0 || i + 1 >= arguments.size()) {
      settings[L"argument"] += key;
      ++i;
      continue;
    }
    key.erase(0, 2);
    for (wchar_t& c : key) {
      c = c == L'-' ? L'_' : c;
    }
    settings[key] = arguments[i + 1];
    i += 2;
  }
}

void Apply(const TSettings& settings, TStandInOptions& options) {
  for (const auto& [key, value] : settings) {
    bool understood = true;
    if (key == L"window") {
      understood = false;
      for (TWindowMode mode : {TWindowMode::Close, TWindowMode::Refuse, TWindowMode::Hidden,
                               TWindowMode::Owned, TWindowMode::None}) {
        if (value == WindowModeName(mode)) {
          options.Window = mode;
          understood = true;
        }
      }
    } else if (key == L"close_delay_ms") {
      options.CloseDelayMs = static_cast<DWORD>(ParseNumber(value, 0));
    } else if (key == L"linger_ms") {
      options.LingerMs = static_cast<DWORD>(ParseNumber(value, 0));
    } else if (key == L"lifetime_ms") {
      options.LifetimeMs = static_cast<DWORD>(ParseNumber(value, 60000));
    } else if (key == L"lock") {
      options.LockPath = value;
    } else if (key == L"share" && (value == L"none" || value == L"read")) {
      options.LockShare = value == L"read" ? TLockShare::Read : TLockShare::None;
    } else if (key == L"access" && (value == L"read" || value == L"write")) {
      options.LockForWriting = value == L"write";
    } else if (key == L"replace") {
      options.ReplacePath = value;
    } else if (key == L"replace_with") {
      options.ReplaceWith = value;
    } else if (key == L"replace_by" && (value == L"move" || value == L"copy")) {
      options.ReplaceBy = value == L"copy" ? TReplaceBy::Copy : TReplaceBy::Move;
    } else {
      understood = false;
    }
    if (!understood) {
      options.Problems += (options.Problems.empty() ? L"" : L"; ") + key + L"=" + value;
    }
  }
}

}  // namespace

const wchar_t* WindowModeName(TWindowMode mode) {
  switch (mode) {
    case TWindowMode::Close:
      return L"close";
    case TWindowMode::Refuse:
      return L"refuse";
    case TWindowMode::Hidden:
      return L"hidden";
    case TWindowMode::Owned:
      return L"owned";
    case TWindowMode::None:
      return L"none";
  }
  return L"?";
}

TStandInOptions LoadOptions() {
  TStandInOptions options;
  TSettings settings;
  std::wstring folder = EnvironmentValue(L"ZELK_STAND_IN_DIR");
  if (!folder.empty()) {
    if (folder.back() != L'\\') {
      folder.push_back(L'\\');
    }
    const std::wstring base = folder + OwnBaseName();
    options.LogPath = base + L".log";
    options.QuitPath = folder + L"quit";
    ReadSideFile(base + L".ini", settings);
  }
  ReadCommandLine(settings);
  Apply(settings, options);
  return options;
}

}  // namespace zelkupd::test
