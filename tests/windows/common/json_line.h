// One record of a helper's log: a JSON object on one line, so the Python harness can read the
// log with json.loads line by line while other processes still append to it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zelkupd::test {

class TJsonLine {
 public:
  // Every record names its kind first: {"record": kind, ...}.
  explicit TJsonLine(std::string_view kind);

  TJsonLine& Add(std::string_view key, std::wstring_view value);
  TJsonLine& Add(std::string_view key, std::int64_t value);
  TJsonLine& AddBool(std::string_view key, bool value);
  TJsonLine& AddNull(std::string_view key);
  TJsonLine& AddList(std::string_view key, const std::vector<std::wstring>& values);

  // The object with its closing brace and a line feed.
  std::string Text() const;

 private:
  void Key(std::string_view key);

  std::string FText;
};

}  // namespace zelkupd::test
