#include "support/power_cut.h"

#include <stdexcept>

#include "runtime/files.h"
#include "runtime/paths.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>

#include "runtime/text.h"
#endif

namespace zelkupd::test {
namespace {

TPowerCut* gActive = nullptr;

struct TFileInfo {
  std::uint64_t Volume = 0;
  std::uint64_t Number = 0;
  std::uint64_t Size = 0;
};

#ifdef _WIN32
const wchar_t* Wide(const std::u16string& path) {
  return reinterpret_cast<const wchar_t*>(path.c_str());
}

// Opened without access to its data, a file that another handle holds unshared still answers.
bool Inspect(const std::u16string& path, TFileInfo& info) {
  HANDLE file = ::CreateFileW(Wide(path), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return false;
  }
  BY_HANDLE_FILE_INFORMATION data{};
  const bool ok = ::GetFileInformationByHandle(file, &data) != FALSE &&
                  (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  ::CloseHandle(file);
  info = {data.dwVolumeSerialNumber,
          (std::uint64_t{data.nFileIndexHigh} << 32) | data.nFileIndexLow,
          (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow};
  return ok;
}

void Truncate(const std::u16string& path, std::uint64_t size) {
  HANDLE file = ::CreateFileW(Wide(path), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  LARGE_INTEGER end{};
  end.QuadPart = static_cast<LONGLONG>(size);
  const bool ok = file != INVALID_HANDLE_VALUE &&
                  ::SetFilePointerEx(file, end, nullptr, FILE_BEGIN) != FALSE &&
                  ::SetEndOfFile(file) != FALSE;
  if (file != INVALID_HANDLE_VALUE) {
    ::CloseHandle(file);
  }
  if (!ok) {
    throw std::runtime_error("cannot cut a file back to its flushed data");
  }
}
#else
std::string Native(const std::u16string& path) {
  std::string native = Utf16ToUtf8(path);
  for (char& c : native) {
    c = c == '\\' ? '/' : c;
  }
  return native;
}

bool Inspect(const std::u16string& path, TFileInfo& info) {
  struct stat data {};
  if (stat(Native(path).c_str(), &data) != 0 || S_ISDIR(data.st_mode)) {
    return false;
  }
  info = {static_cast<std::uint64_t>(data.st_dev), static_cast<std::uint64_t>(data.st_ino),
          static_cast<std::uint64_t>(data.st_size)};
  return true;
}

void Truncate(const std::u16string& path, std::uint64_t size) {
  if (truncate(Native(path).c_str(), static_cast<off_t>(size)) != 0) {
    throw std::runtime_error("cannot cut a file back to its flushed data");
  }
}
#endif

}  // namespace

TPowerCut::TPowerCut(int lostAt) : FLostAt(lostAt) {
  gActive = this;
  SetFaultHook(&Hook);
}

TPowerCut::~TPowerCut() {
  SetFaultHook(nullptr);
  gActive = nullptr;
}

bool TPowerCut::Hook(TFaultPoint point, std::u16string_view path) {
  TPowerCut& self = *gActive;
  ++self.FOperations;
  if (self.FLostAt != 0 && self.FOperations >= self.FLostAt) {
    return true;
  }
  if (self.FFailAlso != nullptr && self.FFailAlso(point, path)) {
    if (self.FLanding) {
      self.Observe(point, path);
    }
    return true;
  }
  self.Observe(point, path);
  return false;
}

// Each operation is seen before it happens, and happens when the power holds.
void TPowerCut::Observe(TFaultPoint point, std::u16string_view path) {
  const std::u16string name(path);
  TFileInfo info;
  switch (point) {
    case TFaultPoint::Create:
      FJustOpened.insert(name);
      return;
    case TFaultPoint::Write:
      if (Inspect(name, info)) {
        TFileState& state = FFiles[{info.Volume, info.Number}];
        // A file met first, or cut short as it was opened again, has on the disk what it holds.
        if (FJustOpened.erase(name) != 0 && (!state.Dirty || info.Size < state.Flushed)) {
          state.Flushed = info.Size;
        }
        state.Dirty = true;
      }
      return;
    case TFaultPoint::Flush:
      if (Inspect(name, info)) {
        FFiles[{info.Volume, info.Number}] = {info.Size, false};
      }
      return;
    case TFaultPoint::Delete:
    case TFaultPoint::Replace:
      // A file that goes frees its number for another.
      if (Inspect(name, info)) {
        FFiles.erase({info.Volume, info.Number});
      }
      return;
    default:
      return;
  }
}

void TPowerCut::LoseUnflushed(std::u16string_view folder) {
  SetFaultHook(nullptr);
  Cut(ExcludeTrailingBackslash(folder));
}

void TPowerCut::Cut(const std::u16string& folder) {
  for (const TDirEntry& entry : ListDirectory(folder)) {
    const std::u16string path = folder + u"\\" + entry.Name;
    TFileInfo info;
    if (entry.IsDirectory) {
      Cut(path);
    } else if (Inspect(path, info)) {
      const auto state = FFiles.find({info.Volume, info.Number});
      if (state != FFiles.end() && state->second.Dirty && info.Size > state->second.Flushed) {
        Truncate(path, state->second.Flushed);
      }
    }
  }
}

}  // namespace zelkupd::test
