// The whole update run: start-up, target selection, release search, decision, download,
// installation and end, in one straight pass. Returns the process's exit code.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"
#include "update/release_key.h"

namespace zelkupd {

// `arguments` are the command-line arguments after the program name; only the first is used.
// Archives must carry a signature made with `releaseKey`'s private half unless it is null.
int RunUpdate(Platform& system, const std::vector<std::u16string>& arguments,
              const TEcPublicKey* releaseKey = BuiltInReleaseKey());

}  // namespace zelkupd
