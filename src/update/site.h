// The author's site, fixed when the program is built (the CMake cache variable ZELKUPD_SITE_URL):
// an absolute "http://" or "https://" URL ending in "/". Defined in the build's generated unit.
#pragma once

namespace zelkupd {

extern const char16_t kSiteBaseUrl[];

}  // namespace zelkupd
