// The line structure of an INI file's text: splitting at CR, LF and CR LF, and joining with CR LF.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zelkupd {

// CR LF is one break, LF CR two. A last line without a break still counts, a final break adds no
// empty line, and a NUL ends the text.
std::vector<std::u16string> SplitLines(std::u16string_view text);

// Every line followed by CR LF, the last one included.
std::u16string JoinLines(const std::vector<std::u16string>& lines);

}  // namespace zelkupd
