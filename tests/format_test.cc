// Unit tests of formatting: every variant a file-system driver formats is named as its system by
// identification, holds no file, and, for the FAT systems, has the free space mtools finds; where
// a real formatted disk is known, the new disk is its every byte.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "diskimage/containers/sector_table.h"
#include "diskimage/d88_image.h"
#include "diskimage/disk_map.h"
#include "diskimage/file_systems/file_system_driver.h"
#include "diskimage/identify.h"
#include "tests/real_disks.h"
#include "tests/test_files.h"

namespace {

using namespace diskimage;

// The free bytes `mdir` gives for the raw dump at `path`, or -1 when it does not read it.
int64_t MtoolsFreeBytes(const std::string& path) {
  const std::string command =
      "MTOOLS_SKIP_CHECK=1 mdir -i " + path + " :: | tr -d ' ' | sed -n 's/bytesfree$//p'";
  FILE* mdir = popen(command.c_str(), "r");
  long long free_bytes = -1;
  if (mdir != nullptr && fscanf(mdir, "%lld", &free_bytes) != 1) free_bytes = -1;
  if (mdir != nullptr) pclose(mdir);
  return free_bytes;
}

TEST(FormatTest, EveryVariantIsAnEmptyDiskOfItsSystemAsMtoolsAgrees) {
  const bool mtools = system("command -v mdir >/dev/null") == 0;
  TempDir dir;
  int formatted = 0;
  for (int d = 0; const FileSystemDriver* driver = NthFileSystemDriver(d); ++d) {
    if (driver->format_variant == nullptr) continue;
    for (int v = 0; const FormatVariant* variant = driver->format_variant(v); ++v) {
      const std::string name = std::string(driver->name) + ":" + variant->name;
      EXPECT_EQ(FindFormatVariant(driver->kind, name.c_str() + name.find(':') + 1), v);
      Bytes disk(static_cast<size_t>(variant->grid.DiskBytes()), 0x5A);
      driver->format(v, disk.data());
      auto table = std::make_unique<SectorTable>();
      table->Reset(disk.data(), disk.size());
      int64_t offset = 0;
      for (int k = 0; k < variant->grid.cylinders * variant->grid.heads; ++k) {
        offset = AddGridTrack(*table, variant->grid, k, offset, disk.size());
      }
      auto map = std::make_unique<DiskMap>();
      map->Load(*table);
      auto fs = std::make_unique<FileSystem>();
      Identification id;
      Identify(*map, *fs, id);
      EXPECT_EQ(id.kind, driver->kind) << name << ": " << id.evidence;
      EXPECT_EQ(id.files, 0) << name;
      EXPECT_EQ(id.bytes_used, 0) << name;
      EXPECT_EQ(id.damaged, 0) << name;
      EXPECT_GT(id.bytes_free, 0) << name;
      if (mtools &&
          (driver->kind == FileSystemKind::kFat12 || driver->kind == FileSystemKind::kHuman68k)) {
        WriteFile(dir / "disk", disk);
        EXPECT_EQ(MtoolsFreeBytes(dir / "disk"), id.bytes_free) << name;
      }
      ++formatted;
    }
  }
  EXPECT_GE(formatted, 5);
  EXPECT_EQ(FindFormatVariant(FileSystemKind::kFat12, "PC98-2HD"), 0);
  EXPECT_EQ(FindFormatVariant(FileSystemKind::kFat12, "pc98-2h"), -1);
  EXPECT_EQ(FindFormatVariant(FileSystemKind::kDskcut, "2hd"), -1);
}

// A real N88-BASIC(86) 2DD disk, formatted and never written: the filler, the system track's
// directory, ID sector and tables are what the format writes, sector by sector.
TEST(FormatTest, N88Basic2ddIsTheRealFormattedDisk) {
  REAL_DISK_OR_SKIP(path, "blank_n88basic86_2DD.d88");
  const Bytes real = ReadFile(path);
  auto image = std::make_unique<D88Image>();
  ASSERT_TRUE(image->OpenMemory(real.data(), real.size()));
  image->SelectDisk(0);
  auto map = std::make_unique<DiskMap>();
  map->Load(*image);
  const FileSystemDriver* driver = FindFileSystemDriver(FileSystemKind::kN88Basic);
  const int v = FindFormatVariant(FileSystemKind::kN88Basic, "2dd");
  ASSERT_GE(v, 0);
  const SectorGrid& grid = driver->format_variant(v)->grid;
  Bytes disk(static_cast<size_t>(grid.DiskBytes()));
  driver->format(v, disk.data());
  for (int track = 0; track < grid.cylinders * grid.heads; ++track) {
    ASSERT_EQ(map->SectorCount(track), grid.sectors) << "track " << track;
    for (int r = 1; r <= grid.sectors; ++r) {
      const SectorHeader* sector = map->Find(track, r);
      ASSERT_NE(sector, nullptr);
      unsigned char bytes[256];
      ASSERT_EQ(map->Read(*sector, bytes, 256), 256);
      const size_t offset = (static_cast<size_t>(track) * grid.sectors + r - 1) * 256;
      ASSERT_EQ(Bytes(bytes, bytes + 256),
                Bytes(disk.begin() + offset, disk.begin() + offset + 256))
          << "track " << track << " sector " << r;
    }
  }
}

}  // namespace
