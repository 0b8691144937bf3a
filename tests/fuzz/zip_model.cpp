#include "fuzz/zip_model.h"

#include <cstdint>

#include "support/zip_builder.h"

namespace zelkupd::fuzz {
namespace {

enum class TDefect {
  None,
  EndUndercount,     // the end record counts one entry fewer
  EndOvercount,      // the end record counts one entry more
  Zip64Count,        // the Zip64 end record counts one entry fewer or more
  DirectoryOffset,   // the end record's directory offset is one byte off
  Zip64OffsetPast,   // an entry's Zip64 local header offset points past the archive
  Zip64SizePast,     // an entry's Zip64 compressed size reaches past its data's room
  ShortCompressed,   // an entry's compressed size is recorded one byte short
  LocalContradicts,  // an entry's local Zip64 size is not its central one
  kMaxValue = LocalContradicts,
};

}  // namespace

TModelArchive MakeModelArchive(FuzzedDataProvider& input) {
  test::TZipBuilder builder;
  TModelArchive model;
  model.Opens = true;
  const auto count = input.ConsumeIntegralInRange<std::size_t>(0, 4);
  std::vector<test::TZipEntryPlan> plans;
  for (std::size_t i = 0; i < count; ++i) {
    test::TZipEntryPlan plan;
    plan.Name = "d/f" + std::to_string(i) + ".bin";
    plan.Data = input.ConsumeBytesAsString(input.ConsumeIntegralInRange<std::size_t>(0, 300));
    plan.Method = input.ConsumeBool() ? 8 : 0;
    plan.DataDescriptor = input.ConsumeBool();
    plan.Zip64Central = input.ConsumeIntegralInRange<unsigned>(0, 15);
    plan.Zip64Local = input.ConsumeIntegralInRange<unsigned>(0, 3);
    plans.push_back(plan);
    model.Entries.push_back({plan.Name, plan.Data});
  }
  builder.Zip64End = input.ConsumeBool();
  builder.EndMarkers = input.ConsumeIntegralInRange<unsigned>(0, 7);
  builder.Zip64Extensible =
      input.ConsumeBytesAsString(input.ConsumeIntegralInRange<std::size_t>(0, 8));
  const auto defect = input.ConsumeEnum<TDefect>();
  const auto victim = count == 0 ? 0 : input.ConsumeIntegralInRange<std::size_t>(0, count - 1);
  const bool endCountsItself = !builder.Zip64End || (builder.EndMarkers & test::kZip64Entries) == 0;
  const bool endHasOffset =
      !builder.Zip64End || (builder.EndMarkers & test::kZip64DirectoryOffset) == 0;
  switch (defect) {
    case TDefect::None:
      break;
    case TDefect::EndUndercount:
      if (count > 0 && endCountsItself) {
        builder.DeclaredEntries = static_cast<std::uint16_t>(count - 1);
        model.Opens = false;
      }
      break;
    case TDefect::EndOvercount:
      if (endCountsItself) {
        builder.DeclaredEntries = static_cast<std::uint16_t>(count + 1);
        model.Opens = false;
      }
      break;
    case TDefect::Zip64Count:
      if (builder.Zip64End) {
        builder.DeclaredZip64Entries = input.ConsumeBool() || count == 0 ? count + 1 : count - 1;
        model.Opens = false;
      }
      break;
    case TDefect::DirectoryOffset:
      model.Opens = !endHasOffset;
      break;
    case TDefect::Zip64OffsetPast:
      if (count > 0) {
        plans[victim].Zip64Central |= test::kZip64Offset;
        plans[victim].CentralOffset = input.ConsumeIntegralInRange<std::uint64_t>(1u << 20, ~0ull);
        model.Opens = false;
      }
      break;
    case TDefect::Zip64SizePast:
      if (count > 0) {
        plans[victim].Zip64Central |= test::kZip64Compressed;
        plans[victim].CentralCompressedSize =
            input.ConsumeIntegralInRange<std::uint64_t>(1u << 20, ~0ull);
        model.Opens = false;
      }
      break;
    case TDefect::ShortCompressed:
      // Stored data needs its every byte; a deflate stream's last byte may hold nothing but its
      // end, without which all of its data still comes out.
      if (count > 0 && !plans[victim].Data.empty() && plans[victim].Method == 0) {
        plans[victim].CentralCompressedSize = plans[victim].Data.size() - 1;
        model.Entries[victim].Data.reset();
      }
      break;
    case TDefect::LocalContradicts:
      if (count > 0 && !plans[victim].DataDescriptor &&
          (plans[victim].Zip64Local & test::kZip64Uncompressed) != 0) {
        plans[victim].CentralSize = plans[victim].Data.size() + 1;
        model.Entries[victim].Data.reset();
      }
      break;
  }
  for (const auto& plan : plans) {
    builder.Add(plan);
  }
  if (defect == TDefect::DirectoryOffset && endHasOffset) {
    test::TZipLayout layout;
    builder.Build(&layout);
    builder.DeclaredDirectoryOffset = static_cast<std::uint32_t>(layout.CentralDirectory + 1);
  }
  model.Bytes = builder.Build();
  return model;
}

}  // namespace zelkupd::fuzz
