#include "fuzz/running_image.h"

#include <sys/stat.h>

#include <algorithm>
#include <string>

#include "runtime/text.h"

namespace zelkupd::fuzz {
namespace {

bool Identify(std::u16string_view path, std::pair<std::uint64_t, std::uint64_t>& id) {
  std::string native = Utf16ToUtf8(path);
  std::replace(native.begin(), native.end(), '\\', '/');
  struct stat data {};
  if (stat(native.c_str(), &data) != 0 || S_ISDIR(data.st_mode)) {
    return false;
  }
  id = {static_cast<std::uint64_t>(data.st_dev), static_cast<std::uint64_t>(data.st_ino)};
  return true;
}

}  // namespace

TRunningImages gRunning;

void TRunningImages::Start(std::u16string_view path) {
  TFileId id;
  const bool there = Identify(path, id);
  FRunning.emplace_back(id, there);
}

void TRunningImages::End() {
  FRunning.pop_back();
}

bool TRunningImages::Refuses(TFaultPoint point, std::u16string_view path) const {
  if (point != TFaultPoint::Create && point != TFaultPoint::Delete &&
      point != TFaultPoint::Replace) {
    return false;
  }
  TFileId id;
  return Identify(path, id) && std::any_of(FRunning.begin(), FRunning.end(), [&](const auto& run) {
           return run.second && run.first == id;
         });
}

bool RefusedToRunningImage(TFaultPoint point, std::u16string_view path) {
  return gRunning.Refuses(point, path);
}

}  // namespace zelkupd::fuzz
