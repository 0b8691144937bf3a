#include "common/json_line.h"

#include "common/utf8.h"

namespace zelkupd::test {
namespace {

std::string Quoted(std::string_view utf8) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string result = "\"";
  for (const char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"':
        result += "\\\"";
        break;
      case '\\':
        result += "\\\\";
        break;
      case '\n':
        result += "\\n";
        break;
      case '\r':
        result += "\\r";
        break;
      case '\t':
        result += "\\t";
        break;
      default:
        if (byte < 0x20) {
          result += "\\u00";
          result += kHex[byte >> 4];
          result += kHex[byte & 0xF];
        } else {
          result += c;
        }
        break;
    }
  }
  return result + "\"";
}

}  // namespace

TJsonLine::TJsonLine(std::string_view kind) : FText("{") {
  Add("record", FromUtf8(kind));
}

void TJsonLine::Key(std::string_view key) {
  if (FText.size() > 1) {
    FText += ", ";
  }
  FText += Quoted(key) + ": ";
}

TJsonLine& TJsonLine::Add(std::string_view key, std::wstring_view value) {
  Key(key);
  FText += Quoted(ToUtf8(value));
  return *this;
}

TJsonLine& TJsonLine::Add(std::string_view key, std::int64_t value) {
  Key(key);
  FText += std::to_string(value);
  return *this;
}

TJsonLine& TJsonLine::AddBool(std::string_view key, bool value) {
  Key(key);
  FText += value ? "true" : "false";
  return *this;
}

TJsonLine& TJsonLine::AddNull(std::string_view key) {
  Key(key);
  FText += "null";
  return *this;
}

TJsonLine& TJsonLine::AddList(std::string_view key, const std::vector<std::wstring>& values) {
  Key(key);
  FText += "[";
  for (std::size_t i = 0; i < values.size(); ++i) {
    FText += (i == 0 ? "" : ", ") + Quoted(ToUtf8(values[i]));
  }
  FText += "]";
  return *this;
}

std::string TJsonLine::Text() const {
  return FText + "}\n";
}

}  // namespace zelkupd::test
