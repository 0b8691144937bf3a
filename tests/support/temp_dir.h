// A fresh folder for one test, removed with everything in it when the test ends. Its path is in
// the core's Windows form, ending in a backslash.
#pragma once

#include <string>
#include <string_view>

namespace zelkupd::test {

class TTempDir {
 public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  const std::u16string& Path() const { return FPath; }
  std::u16string operator/(std::u16string_view name) const { return FPath + std::u16string(name); }

 private:
  std::u16string FPath;
};

// Writes `bytes` to a file, creating or replacing it.
void WriteFileBytes(std::u16string_view path, std::string_view bytes);

// The whole content of a file; empty when it cannot be read.
std::string ReadFileBytes(std::u16string_view path);

// Removes a folder with everything below it.
void RemoveTree(std::u16string_view path);

}  // namespace zelkupd::test
