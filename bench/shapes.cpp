#include "shapes.h"

#include <algorithm>
#include <cstdio>

namespace zelkupd::bench {
namespace {

constexpr std::uint32_t kMiB = 1024 * 1024;

struct TRandom {
  std::uint64_t State;

  std::uint64_t Next() {
    State ^= State << 13;
    State ^= State >> 7;
    State ^= State << 17;
    return State;
  }
};

std::string Numbered(const char* prefix, std::size_t number, const char* suffix) {
  char text[64];
  std::snprintf(text, sizeof text, "%s%05zu%s", prefix, number, suffix);
  return text;
}

// Folders in depth-first order, so each one's entry can precede the files in it.
void AddFolders(TRandom& rng, const std::string& parent, int depth, std::vector<std::string>& out) {
  const std::size_t children = depth == 0 ? 12 : static_cast<std::size_t>(rng.Next() % (8 - depth));
  for (std::size_t i = 0; i < children && depth < 4; ++i) {
    static constexpr const char* kNames[] = {"bin",   "lib",  "plugins", "doc",
                                             "icons", "lang", "themes",  "scripts",
                                             "data",  "help", "tools",   "extras"};
    const std::string folder =
        parent + kNames[(i + static_cast<std::size_t>(depth) * 5) % 12] + std::to_string(i) + "/";
    out.push_back(folder);
    AddFolders(rng, folder, depth + 1, out);
  }
}

TEntryPlan Folder(std::string name) {
  TEntryPlan plan;
  plan.Name = std::move(name);
  plan.Method = kMethodStored;
  return plan;
}

TEntryPlan File(std::string name, TContentKind kind, std::uint32_t size, std::uint16_t method,
                int level, std::uint64_t seed) {
  return {std::move(name), kind, size, method, level, seed};
}

// The folders of both shapes of many files, and the same names for their files; `tiny` files hold
// 64 bytes of stored text instead of 1 to 64 KiB of mixed content.
TShape FilesInFolders(std::size_t fileCount, bool tiny) {
  TRandom rng{0x243f6a8885a308d3ULL};
  std::vector<std::string> folders;
  AddFolders(rng, "", 0, folders);
  std::vector<std::vector<TEntryPlan>> filesOf(folders.size());
  for (std::size_t i = 0; i < fileCount; ++i) {
    const std::uint64_t r = rng.Next();
    const auto octave = static_cast<unsigned>(r % 6);
    const std::uint32_t low = 1024u << octave;
    const auto size = static_cast<std::uint32_t>(low + (r >> 8) % low);
    const auto pick = (r >> 32) % 8;
    const std::size_t folder = static_cast<std::size_t>(r >> 40) % folders.size();
    TEntryPlan plan;
    if (tiny) {
      plan = File(Numbered("note", i, ".txt"), TContentKind::Text, 64, kMethodStored, 0, i);
    } else if (pick < 3) {
      plan = File(Numbered("readme", i, ".txt"), TContentKind::Text, size, kMethodDeflated,
                  Z_DEFAULT_COMPRESSION, i);
    } else if (pick < 5) {
      plan = File(Numbered("module", i, ".dll"), TContentKind::Binary, size, kMethodDeflated,
                  Z_DEFAULT_COMPRESSION, i);
    } else {
      plan = File(Numbered("image", i, ".png"), TContentKind::Random, size, kMethodStored, 0, i);
    }
    plan.Name = folders[folder] + plan.Name;
    filesOf[folder].push_back(std::move(plan));
  }
  TShape shape{tiny ? "entries" : "small", "", {}};
  for (std::size_t f = 0; f < folders.size(); ++f) {
    shape.Entries.push_back(Folder(folders[f]));
    for (TEntryPlan& plan : filesOf[f]) {
      shape.Entries.push_back(std::move(plan));
    }
  }
  shape.Title = std::to_string(fileCount) +
                (tiny ? " files of 64 bytes in " : " files of 1 to 64 KiB in ") +
                std::to_string(folders.size()) + " folders";
  return shape;
}

}  // namespace

TShape SmallFilesShape(std::size_t fileCount) {
  TShape shape = FilesInFolders(fileCount, false);
  shape.Title = "small files: " + shape.Title;
  return shape;
}

TShape MostEntriesShape() {
  TRandom rng{0x243f6a8885a308d3ULL};
  std::vector<std::string> folders;
  AddFolders(rng, "", 0, folders);
  TShape shape = FilesInFolders(kMostEntries - folders.size(), true);
  shape.Title = "the most entries a ZIP without Zip64 holds, 65,535: " + shape.Title;
  return shape;
}

TShape LargeFilesShape() {
  const int level = Z_DEFAULT_COMPRESSION;
  return {"large",
          "large files: 6 files, 248 MiB",
          {Folder("big/"),
           File("big/corpus.txt", TContentKind::Text, 48 * kMiB, kMethodDeflated, level, 1),
           File("big/server.log", TContentKind::Text, 40 * kMiB, kMethodDeflated, level, 2),
           File("big/core.dll", TContentKind::Binary, 48 * kMiB, kMethodDeflated, level, 3),
           File("big/media.pak", TContentKind::Random, 40 * kMiB, kMethodDeflated, level, 4),
           File("big/photos.bin", TContentKind::Random, 32 * kMiB, kMethodStored, 0, 5),
           File("big/bundle.dat", TContentKind::Mixed, 40 * kMiB, kMethodDeflated, level, 6)}};
}

TShape GigabyteShape() {
  TShape shape{"gigabyte", "more than 1 GiB of archive: 7 files, 1,264 MiB", {Folder("gig/")}};
  for (std::size_t i = 0; i < 3; ++i) {
    shape.Entries.push_back(File(Numbered("gig/stored", i, ".bin"), TContentKind::Random,
                                 208 * kMiB, kMethodStored, 0, 10 + i));
  }
  for (std::size_t i = 0; i < 2; ++i) {
    shape.Entries.push_back(File(Numbered("gig/random", i, ".pak"), TContentKind::Random,
                                 160 * kMiB, kMethodDeflated, 1, 20 + i));
    shape.Entries.push_back(File(Numbered("gig/text", i, ".txt"), TContentKind::Text, 160 * kMiB,
                                 kMethodDeflated, 1, 30 + i));
  }
  return shape;
}

TShape RebuiltRelease(const TShape& release) {
  // A build a few weeks later; other seeds than any release file's index, so other bytes.
  constexpr std::uint32_t kRebuildTime = DosDateTime(2024, 6, 3, 9, 15, 42);
  constexpr std::uint64_t kNewSeeds = std::uint64_t{1} << 40;
  TShape rebuilt{release.Name + "-rebuilt", "", release.Entries};
  std::vector<TEntryPlan*> files;
  for (TEntryPlan& plan : rebuilt.Entries) {
    plan.DosTime = kRebuildTime;
    if (plan.Name.empty() || plan.Name.back() != '/') {
      files.push_back(&plan);
    }
  }
  std::stable_sort(files.begin(), files.end(),
                   [](const TEntryPlan* a, const TEntryPlan* b) { return a->Size < b->Size; });
  std::size_t changed = 0;
  for (std::size_t i = kRebuiltOneIn / 2; i < files.size(); i += kRebuiltOneIn) {
    files[i]->Seed += kNewSeeds;
    ++changed;
  }
  rebuilt.Title = release.Name + " files rebuilt: every entry's time new, " +
                  std::to_string(changed) + " files with new bytes";
  return rebuilt;
}

TArchive MakeArchive(const TShape& shape, const std::u16string& path) {
  TArchive archive;
  archive.Path = path;
  TZipWriter writer(path);
  for (const TEntryPlan& plan : shape.Entries) {
    if (!plan.Name.empty() && plan.Name.back() == '/') {
      writer.AddFolder(plan.Name, plan.DosTime);
      ++archive.Folders;
      continue;
    }
    TContentSource content(plan.Kind, plan.Seed);
    writer.AddFile(plan.Name, plan.Method, plan.Level, content, plan.Size, plan.DosTime);
    ++archive.Files;
    archive.DataBytes += plan.Size;
    archive.Deflated += plan.Method == kMethodDeflated ? 1 : 0;
  }
  archive.Entries = writer.Finish();
  archive.ArchiveBytes = writer.Bytes();
  return archive;
}

}  // namespace zelkupd::bench
