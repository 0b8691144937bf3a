// The release author's public key that every archive must be signed with, fixed when the program
// is built (the CMake cache variable ZELKUPD_RELEASE_KEY). Defined in the build's generated unit.
#pragma once

#include "runtime/crypto.h"

namespace zelkupd {

// The key, or nullptr for a build without one, which never asks for a signature.
const TEcPublicKey* BuiltInReleaseKey();

}  // namespace zelkupd
