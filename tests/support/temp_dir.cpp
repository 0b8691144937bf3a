#include "support/temp_dir.h"

#include <atomic>
#include <chrono>
#include <random>
#include <stdexcept>

#include "runtime/errors.h"
#include "runtime/files.h"
#include "runtime/paths.h"
#include "runtime/stream.h"
#include "runtime/text.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace zelkupd::test {
namespace {

std::u16string SystemTempFolder() {
#ifdef _WIN32
  wchar_t buffer[MAX_PATH + 1];
  const DWORD length = ::GetTempPathW(MAX_PATH + 1, buffer);
  return IncludeTrailingBackslash(
      std::u16string(reinterpret_cast<const char16_t*>(buffer), length));
#else
  return u"\\tmp\\";
#endif
}

std::uint64_t UniqueNumber() {
  static std::atomic<std::uint64_t> counter{0};
#ifdef _WIN32
  const auto pid = static_cast<std::uint64_t>(::GetCurrentProcessId());
#else
  const auto pid = static_cast<std::uint64_t>(getpid());
#endif
  const auto now =
      static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  return (pid << 40) ^ now ^ (counter++ << 20);
}

}  // namespace

TTempDir::TTempDir() {
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::u16string path =
        SystemTempFolder() + u"zelkupd-test-" +
        IntToText(static_cast<std::int64_t>(UniqueNumber() & 0x7FFFFFFFFFFF));
    if (CreateDir(path)) {
      FPath = path + u"\\";
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder");
}

TTempDir::~TTempDir() {
  RemoveTree(FPath);
}

void RemoveTree(std::u16string_view path) {
  const std::u16string folder = ExcludeTrailingBackslash(path);
  for (const TDirEntry& entry : ListDirectory(folder)) {
    const std::u16string child = folder + u"\\" + entry.Name;
    if (entry.IsDirectory) {
      RemoveTree(child);
    } else {
      RemoveFile(child);
    }
  }
  RemoveDir(folder);
}

void WriteFileBytes(std::u16string_view path, std::string_view bytes) {
  TFileStream file(path, kCreateWriteExclusive);
  file.WriteBuffer(bytes.data(), bytes.size());
}

std::string ReadFileBytes(std::u16string_view path) {
  try {
    return ReadWholeFile(path);
  } catch (const Exception&) {
    return {};
  }
}

}  // namespace zelkupd::test
