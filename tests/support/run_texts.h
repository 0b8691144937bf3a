// Texts and addresses that many run tests expect: the greeting of a run without settings, the end
// notice and the release pages under the built-in site.
#pragma once

#include <string>

#include "update/site.h"

namespace zelkupd::test {

// The first lines of a run without a settings file, its archive kept.
inline constexpr char16_t kGreeting[] =
    u"ゼルク のアップデートを試みます.\r\n\r\nダウンロードしたアーカイブは保持されます.\r\n";
inline constexpr char16_t kEndNotice[] = u"それではアップデートプログラムを終了致します";

inline const std::u16string kSite = kSiteBaseUrl;
inline const std::u16string kReleasePage = kSite + u"vum_zelk.html";
inline const std::u16string kSecondPage = kSite + u"vum_scb.html";

}  // namespace zelkupd::test
