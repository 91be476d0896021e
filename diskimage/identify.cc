// Identification: each file system tried strictly, its tree counted; then the two game layouts,
// then unformatted disks; whatever is left is unknown.
#include "diskimage/identify.h"

#include <cstdio>
#include <cstring>

#include "diskimage/file_systems/file_system_driver.h"
#include "diskimage/game_layouts.h"

namespace diskimage {

const char* FileSystemName(FileSystemKind kind) {
  switch (kind) {
    case FileSystemKind::kDskcut:
      return "dskcut";
    case FileSystemKind::kDskpull:
      return "dskpull";
    case FileSystemKind::kUnformatted:
      return "unformatted";
    default:
      break;
  }
  const FileSystemDriver* driver = FindFileSystemDriver(kind);
  return driver != nullptr ? driver->name : "unknown";
}

namespace {

struct TreeCount {
  int64_t files = 0;
  int64_t directories = 0;
  int64_t damaged = 0;
  int64_t invalid_entries = 0;
  int64_t broken = 0;  // files and folders whose chain leaves the disk, ends early or loops
};

void CountTree(FileSystem& fs, DirectoryCursor& cursor, int depth, TreeCount& count) {
  DirectoryEntry entry;
  while (fs.NextEntry(cursor, entry)) {
    if (entry.directory) {
      ++count.directories;
      if (depth + 1 >= kMaxFolderDepth) continue;
      DirectoryCursor below;
      fs.Subdirectory(entry, below);
      CountTree(fs, below, depth + 1, count);
      continue;
    }
    ++count.files;
    ChainDamage damage;
    fs.ReadFile(entry, nullptr, 0, damage);
    if (damage.Any()) ++count.damaged;
    if (damage.leaves_disk || damage.ends_early || damage.invalid_link || damage.loops) {
      ++count.broken;
    }
  }
  count.invalid_entries += cursor.invalid_entries;
  if (cursor.damage.Any()) ++count.damaged;
  if (cursor.damage.leaves_disk || cursor.damage.invalid_link || cursor.damage.shared) {
    ++count.broken;
  }
}

}  // namespace

void Identify(const DiskMap& map, FileSystem& fs, Identification& id) {
  id = Identification{FileSystemKind::kUnknown, "", "", -1, -1, -1, -1, -1, -1};
  for (int i = 0; const FileSystemDriver* driver = NthFileSystemDriver(i); ++i) {
    if (!fs.Mount(map, driver->kind)) continue;
    DirectoryCursor root;
    fs.Root(root);
    TreeCount count;
    CountTree(fs, root, 0, count);
    fs.ForgetClaims();
    // A short signature's directory must hold up too, every entry parsing and most chains ending
    // on the disk (a damaged disk keeps its name).
    using Evidence = FileSystemDriver::Evidence;
    if (driver->evidence == Evidence::kDirectory &&
        (count.invalid_entries > 0 || 2 * count.broken > count.files + count.directories)) {
      continue;
    }
    if (driver->evidence == Evidence::kFiles && count.files == 0) continue;
    id.kind = driver->kind;
    id.variant = fs.Layout().variant;
    fs.DescribeMount(id.evidence, sizeof id.evidence);
    id.files = count.files;
    id.directories = count.directories;
    id.damaged = count.damaged;
    id.invalid_entries = count.invalid_entries;
    id.bytes_free = fs.FreeClusters() * fs.ClusterBytes();
    id.bytes_used = fs.UsedClusters() * fs.ClusterBytes();
    return;
  }
  fs.Mount(map, FileSystemKind::kUnknown);

  LayoutFile files[kMaxLayoutFiles];
  if (const int entries = ReadLayoutDirectory(map, FileSystemKind::kDskcut, files); entries > 0) {
    id.kind = FileSystemKind::kDskcut;
    id.files = entries;
    snprintf(id.evidence, sizeof id.evidence,
             "16-byte directory on track 1 with %d entr%s pointing inside tracks 2 to 79", entries,
             entries == 1 ? "y" : "ies");
    return;
  }
  if (const int entries = ReadLayoutDirectory(map, FileSystemKind::kDskpull, files); entries > 0) {
    id.kind = FileSystemKind::kDskpull;
    id.files = entries;
    snprintf(id.evidence, sizeof id.evidence,
             "8-byte directory on track 1 with %d entr%s pointing inside tracks 4 to 79", entries,
             entries == 1 ? "y" : "ies");
    return;
  }
  const DiskGeometry geometry = map.Summarize();
  int filler = 0;
  const int filler_sectors = geometry.total_sectors > 0 ? map.FillerSectors(filler) : 0;
  const int data_sectors = geometry.total_sectors - filler_sectors;
  if (geometry.total_sectors == 0) {
    id.kind = FileSystemKind::kUnformatted;
    snprintf(id.evidence, sizeof id.evidence, "%s",
             geometry.tracks_present == 0 ? "no track is stored" : "no track holds a sector");
  } else if (data_sectors == 0) {
    id.kind = FileSystemKind::kUnformatted;
    snprintf(id.evidence, sizeof id.evidence, "every sector holds one filler byte throughout");
  } else if (filler_sectors == 0) {
    snprintf(id.evidence, sizeof id.evidence,
             "no file system's structures and neither game layout found (%d sector%s data)",
             geometry.total_sectors, geometry.total_sectors == 1 ? " holds" : "s hold");
  } else {
    snprintf(id.evidence, sizeof id.evidence,
             "no file system's structures and neither game layout found (%d sector%s data; "
             "formatted: %d hold only a filler, most of them %02Xh)",
             data_sectors, data_sectors == 1 ? " holds" : "s hold", filler_sectors, filler);
  }
}

}  // namespace diskimage
