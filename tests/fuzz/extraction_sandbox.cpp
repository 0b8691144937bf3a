#include "fuzz/extraction_sandbox.h"

#include <string_view>

#include "fuzz/fuzz_check.h"
#include "runtime/fault_hook.h"
#include "runtime/files.h"
#include "runtime/paths.h"
#include "support/temp_dir.h"

namespace zelkupd::fuzz {
namespace {

constexpr char kWitnessBytes[] = "must stay as it is";

// The hook is a plain function, so what it watches lives here.
std::u16string gWatchedFolder;  // full path with a final backslash
std::u16string gEscape;         // the first path outside the folder that was asked for

// Paths are compared after "." and ".." are resolved, as the file system would resolve them; the
// folder itself counts as inside (a folder entry with an empty name stamps it).
bool IsInside(std::u16string_view path) {
  const std::u16string full = ExpandFileName(path);
  return full.starts_with(gWatchedFolder) ||
         full == std::u16string_view(gWatchedFolder).substr(0, gWatchedFolder.size() - 1);
}

bool RefuseOutside(TFaultPoint point, std::u16string_view path) {
  if (point == TFaultPoint::Open || point == TFaultPoint::Read || IsInside(path)) {
    return false;
  }
  if (gEscape.empty()) {
    gEscape = std::u16string(path);
  }
  return true;
}

}  // namespace

TExtractionSandbox::TExtractionSandbox()
    : FTarget(FRoot.Path() + u"target\\"), FWitness(FRoot.Path() + u"witness") {
  test::WriteFileBytes(FWitness, kWitnessBytes);
  CreateDir(FTarget);
}

TExtractionSandbox::~TExtractionSandbox() {
  SetFaultHook(nullptr);
}

void TExtractionSandbox::Begin() {
  SetFaultHook(nullptr);
  test::RemoveTree(FTarget);
  Require(CreateDir(FTarget), "the extraction folder can be made afresh", FTarget);
  gWatchedFolder = ExpandFileName(FTarget);
  gEscape.clear();
  SetFaultHook(&RefuseOutside);
}

void TExtractionSandbox::End() {
  SetFaultHook(nullptr);
  Require(gEscape.empty(), "nothing outside the extraction folder is created or changed", gEscape);
  const std::vector<TDirEntry> entries = ListDirectory(FRoot.Path());
  bool onlyOurs = entries.size() == 2;
  for (const TDirEntry& entry : entries) {
    onlyOurs = onlyOurs && (entry.Name == u"target" || entry.Name == u"witness");
  }
  Require(onlyOurs, "the extraction folder's parent holds only the folder and the witness");
  Require(test::ReadFileBytes(FWitness) == kWitnessBytes, "the witness file is untouched");
}

}  // namespace zelkupd::fuzz
