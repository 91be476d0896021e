// The table of file-system drivers, in the order identification tries them: the one place that
// lists the file systems FileSystem mounts.
#include <cstring>

#include "diskimage/file_systems/file_system_driver.h"
#include "diskimage/names.h"

namespace diskimage {

extern const FileSystemDriver kHuman68kDriver;
extern const FileSystemDriver kFat12Driver;
extern const FileSystemDriver kHuBasicDriver;
extern const FileSystemDriver kN88BasicDriver;
extern const FileSystemDriver kFBasicDriver;
extern const FileSystemDriver kMzBasicDriver;
extern const FileSystemDriver kCpmDriver;

namespace {

// Human68k before FAT12, whose parameter block it carries too; the BASIC systems, whose
// signatures are short, after the FAT systems; CP/M, known by its directory alone, last.
const FileSystemDriver* const kDrivers[] = {
    &kHuman68kDriver, &kFat12Driver,   &kHuBasicDriver, &kN88BasicDriver,
    &kFBasicDriver,   &kMzBasicDriver, &kCpmDriver,
};

constexpr int kDriverCount = static_cast<int>(sizeof kDrivers / sizeof kDrivers[0]);

}  // namespace

const FileSystemDriver* NthFileSystemDriver(int index) {
  return index >= 0 && index < kDriverCount ? kDrivers[index] : nullptr;
}

const FileSystemDriver* FindFileSystemDriver(FileSystemKind kind) {
  for (const FileSystemDriver* driver : kDrivers) {
    if (driver->kind == kind) return driver;
  }
  return nullptr;
}

int FindFormatVariant(FileSystemKind kind, const char* name) {
  const FileSystemDriver* driver = FindFileSystemDriver(kind);
  if (driver == nullptr || driver->format_variant == nullptr) return -1;
  for (int i = 0; const FormatVariant* variant = driver->format_variant(i); ++i) {
    if (SameIgnoringAsciiCase(variant->name, name)) return i;
  }
  return -1;
}

bool NthFormatVariant(FileSystemKind kind, int index, const char*& name, SectorGrid& grid) {
  const FileSystemDriver* driver = FindFileSystemDriver(kind);
  const FormatVariant* variant = driver != nullptr && driver->format_variant != nullptr
                                     ? driver->format_variant(index)
                                     : nullptr;
  if (variant == nullptr) return false;
  name = variant->name;
  grid = variant->grid;
  return true;
}

bool FormatDisk(FileSystemKind kind, int index, unsigned char* disk, size_t size) {
  const char* name;
  SectorGrid grid;
  if (!NthFormatVariant(kind, index, name, grid) ||
      static_cast<int64_t>(size) != grid.DiskBytes()) {
    return false;
  }
  FindFileSystemDriver(kind)->format(index, disk);
  return true;
}

bool WriteBootSector(FileSystemKind kind, int index, const unsigned char* boot, size_t boot_size,
                     unsigned char* disk, size_t disk_size) {
  const char* name;
  SectorGrid grid;
  if (!NthFormatVariant(kind, index, name, grid) ||
      static_cast<int64_t>(disk_size) != grid.DiskBytes() ||
      static_cast<int64_t>(boot_size) > BootSectorBytes(grid)) {
    return false;
  }
  unsigned char sector[1024] = {};
  memcpy(sector, boot, boot_size);
  const FileSystemDriver* driver = FindFileSystemDriver(kind);
  if (driver->take_boot != nullptr) {
    driver->take_boot(index, sector, disk);
  } else {
    memcpy(disk, sector, static_cast<size_t>(BootSectorBytes(grid)));
  }
  return true;
}

int64_t BootSectorBytes(const SectorGrid& grid) { return grid.TrackBytes(0) / grid.sectors; }

bool IsFileSystem(FileSystemKind kind) { return FindFileSystemDriver(kind) != nullptr; }

FileSystemKind NthFileSystem(int index) {
  const FileSystemDriver* driver = NthFileSystemDriver(index);
  return driver != nullptr ? driver->kind : FileSystemKind::kUnknown;
}

}  // namespace diskimage
