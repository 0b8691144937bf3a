// The folder a fuzzed archive is extracted into, and the watch that nothing outside it is created
// or changed: while watching, a fault hook refuses and records every change the runtime is asked
// to make beyond the folder, and afterwards the folder's parent must hold nothing but the folder
// and an untouched witness file.
#pragma once

#include <string>

#include "fuzz/fuzz_folder.h"

namespace zelkupd::fuzz {

class TExtractionSandbox {
 public:
  TExtractionSandbox();
  ~TExtractionSandbox();
  TExtractionSandbox(const TExtractionSandbox&) = delete;
  TExtractionSandbox& operator=(const TExtractionSandbox&) = delete;

  // The extraction folder, ending with a backslash.
  const std::u16string& Target() const { return FTarget; }

  // Empties the extraction folder and starts watching.
  void Begin();
  // Stops watching; a finding when anything outside the folder was touched or asked for.
  void End();

 private:
  TFuzzFolder FRoot;
  std::u16string FTarget;
  std::u16string FWitness;
};

}  // namespace zelkupd::fuzz
