// An assertion that a call raises one of the program's exceptions with an exact class and text.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "runtime/errors.h"
#include "runtime/text.h"

namespace zelkupd::test {

template <typename F>
::testing::AssertionResult Raises(F&& action, const char* className, std::u16string_view text) {
  try {
    action();
  } catch (const Exception& error) {
    if (std::string_view(error.ClassName()) == className && error.Message() == text) {
      return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "raised " << error.ClassName() << " \"" << Utf16ToUtf8(error.Message()) << "\"";
  }
  return ::testing::AssertionFailure() << "raised nothing";
}

}  // namespace zelkupd::test
