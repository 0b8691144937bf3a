// Fuzz target: the ZIP reader on arbitrary bytes held in memory. Every entry's output is prepared,
// its data read, and the entry extracted into a sandbox folder, then stamped with its time as the
// installation does. Nothing outside the folder may be touched; an entry whose name or data is
// refused must not extract; one that passes must extract unless its file cannot be created; and
// what an entry writes must be the data it reads.
// The same input then chooses an archive of the model (zip_model): Zip64 forms of every writer and
// damaged counts and bounds. A damaged directory must not open; an archive that opens must list
// the model's entries, and each must extract with exactly its data, or be refused when the model's
// defect is in it.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/extraction_sandbox.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/zip_model.h"
#include "runtime/errors.h"
#include "runtime/files.h"
#include "runtime/stream.h"
#include "support/temp_dir.h"
#include "update/extract.h"
#include "zip/zip_file.h"

namespace zelkupd::fuzz {
namespace {

struct TOutcome {
  bool Failed = false;
  std::string ClassName;
  std::u16string Message;
};

// Only the program's own exceptions are outcomes; anything else escapes and is a finding.
template <typename F>
TOutcome Attempt(F&& action) {
  try {
    action();
    return {};
  } catch (const Exception& error) {
    return {true, error.ClassName(), error.Message()};
  }
}

// A name whose last component is empty or ".": the reader drops "." components, so such a name
// ("a/", "a/.", ".") is the folder before it, which is no file to write.
bool IsFolderName(std::u16string_view name) {
  const std::size_t separator = name.find_last_of(u"/\\");
  const std::u16string_view last =
      separator == std::u16string_view::npos ? name : name.substr(separator + 1);
  return last.empty() || last == u".";
}

void CheckEntry(TZipFile& zip, int index, const std::u16string& target) {
  const TZipHeader info = zip.GetFileInfo(index);
  const std::u16string name = zip.GetFileName(index);
  const TOutcome prepared = Attempt([&] { zip.PrepareOutput(index, target, true); });
  std::vector<std::uint8_t> data;
  const TOutcome read = Attempt([&] { zip.Read(index, data); });
  const TOutcome extracted = Attempt([&] { zip.Extract(index, target, true); });
  // The real extraction may also find its file impossible to create (a file where a folder must
  // go, or the other way round), which no check of the archive can know.
  const bool cannotCreate = extracted.ClassName == "EFCreateError";
  Require(!prepared.Failed || extracted.Failed, "an entry whose name is refused does not extract",
          name);
  if (prepared.Failed) {
    return;
  }
  // A folder entry writes no data, so its data may be refused while it extracts; when it does not
  // extract, the cause is the one reading found.
  if (read.Failed) {
    Require(extracted.Failed || IsFolderName(name),
            "an entry whose data is refused does not extract", name);
    Require(!extracted.Failed || cannotCreate ||
                (extracted.ClassName == read.ClassName && extracted.Message == read.Message),
            "extraction fails for the cause reading found", extracted.Message);
    return;
  }
  Require(!extracted.Failed || cannotCreate,
          "an entry that passes its checks extracts unless its file cannot be created",
          extracted.Message);
  if (IsFolderName(name)) {
    return;
  }
  if (!extracted.Failed) {
    std::u16string path = target + name;
    std::replace(path.begin(), path.end(), u'/', u'\\');
    const std::string written = test::ReadFileBytes(path);
    Require(written == std::string(data.begin(), data.end()),
            "the extracted file holds the entry's data", path);
    Attempt([&] {
      const TFileTime stamp = LocalToUtcFileTime(DosDateTimeToSystemTime(info.ModifiedDateTime));
      SetFileTimes(path, stamp, stamp);
    });
  }
}

void CheckModel(const TModelArchive& model, const std::u16string& target) {
  TMemoryStream archive(model.Bytes);
  TZipFile zip;
  const TOutcome opened = Attempt([&] { zip.Open(archive, TZipMode::zmRead); });
  Require(opened.Failed != model.Opens, "the archive opens exactly when its directory adds up",
          opened.Message);
  if (opened.Failed) {
    return;
  }
  Require(static_cast<std::size_t>(zip.GetFileCount()) == model.Entries.size(),
          "every entry of the directory is listed", u"");
  for (std::size_t i = 0; i < model.Entries.size(); ++i) {
    const TModelEntry& entry = model.Entries[i];
    const int index = static_cast<int>(i);
    const TOutcome extracted = Attempt([&] { zip.Extract(index, target, true); });
    Require(extracted.Failed != entry.Data.has_value(),
            "an entry extracts exactly when its data is whole", extracted.Message);
    if (entry.Data) {
      std::u16string path = target + zip.GetFileName(index);
      std::replace(path.begin(), path.end(), u'/', u'\\');
      Require(test::ReadFileBytes(path) == *entry.Data, "the entry's file holds its data", path);
    }
  }
}

}  // namespace
}  // namespace zelkupd::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace zelkupd;
  static fuzz::TExtractionSandbox sandbox;
  sandbox.Begin();
  {
    TMemoryStream archive(std::string_view(reinterpret_cast<const char*>(data), size));
    TZipFile zip;
    const fuzz::TOutcome opened = fuzz::Attempt([&] { zip.Open(archive, TZipMode::zmRead); });
    if (!opened.Failed) {
      const int count = zip.GetFileCount();
      for (int i = 0; i < count; ++i) {
        fuzz::CheckEntry(zip, i, sandbox.Target());
      }
      zip.Close();
    }
  }
  FuzzedDataProvider choices(data, size);
  fuzz::CheckModel(fuzz::MakeModelArchive(choices), sandbox.Target());
  sandbox.End();
  return 0;
}
