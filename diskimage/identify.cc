// Identification: each file system tried strictly, its tree counted; then the two game layouts,
// then unformatted disks; whatever is left is unknown.
#include "diskimage/identify.h"

#include <cstdio>
#include <cstring>

#include "diskimage/game_layouts.h"

namespace diskimage {
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

// Describes the file system mounted on `map` in `evidence`.
void DescribeFileSystem(const DiskMap& map, const FileSystem& fs, char* evidence, size_t size) {
  const VolumeLayout& l = fs.Layout();
  switch (fs.Kind()) {
    case FileSystemKind::kFat12:
    case FileSystemKind::kHuman68k: {
      const char* boot = fs.Kind() == FileSystemKind::kHuman68k ? "68000 boot code and " : "";
      if (l.from_media_byte) {
        snprintf(evidence, size,
                 "%sno parameter block; the FAT's media byte names %d sectors of %d bytes a "
                 "track, %d head%s, %d clusters; the root directory parses",
                 boot, l.numbering.sectors_per_track, l.numbering.sector_size, l.numbering.heads,
                 l.numbering.heads == 1 ? "" : "s", l.cluster_count);
      } else {
        snprintf(evidence, size,
                 "%sboot sector parameter block: %d-byte sectors, %d per cluster, %d clusters; "
                 "FAT begins with the media byte",
                 boot, l.numbering.sector_size, l.sectors_per_cluster, l.cluster_count);
      }
      break;
    }
    case FileSystemKind::kN88Basic: {
      const int track = static_cast<int>(l.root_start / l.numbering.sectors_per_track);
      snprintf(evidence, size,
               "three equal FAT copies on cylinder %d head %d, system track reserved; directory "
               "entries parse",
               track / 2, track % 2);
      break;
    }
    case FileSystemKind::kHuBasic:
      snprintf(evidence, size,
               "FAT in logical sector %d begins 01 8F; directory entries parse, chains stay on "
               "the disk",
               l.numbering.sectors_per_track == 16 ? 14 : 28);
      break;
    case FileSystemKind::kFBasic: {
      unsigned char first = 0;
      const SectorHeader* fat = map.Find(2, 1);
      if (fat != nullptr) map.Read(*fat, &first, 1);
      snprintf(evidence, size,
               "FAT on cylinder 1 sector 1 begins %02X FF FF FF FF%s; directory entries parse, "
               "chains stay on the disk",
               first, first == 0 ? "" : " (the formatter's filler) after an ID sector");
      break;
    }
    case FileSystemKind::kCpm:
      snprintf(evidence, size,
               "the %s format's directory (track %d, %d entries) holds only well-formed entries "
               "and at least one file",
               l.variant, static_cast<int>(l.root_start / l.numbering.sectors_per_track),
               l.directory_entries);
      break;
    case FileSystemKind::kMzBasic:
      snprintf(evidence, size,
               "inverted bitmap in logical sector 15: %d sectors, blocks of %d, data from sector "
               "%d; directory modes known",
               static_cast<int>(l.cluster_start + int64_t{l.cluster_count} * l.sectors_per_cluster),
               l.sectors_per_cluster, static_cast<int>(l.cluster_start));
      break;
    default:
      break;
  }
}

}  // namespace

void Identify(const DiskMap& map, FileSystem& fs, Identification& id) {
  id = Identification{FileSystemKind::kUnknown, "", "", -1, -1, -1, -1, -1, -1};
  // Human68k before FAT12, whose parameter block it carries too.
  static constexpr FileSystemKind kFileSystems[] = {
      FileSystemKind::kHuman68k, FileSystemKind::kFat12,  FileSystemKind::kHuBasic,
      FileSystemKind::kN88Basic, FileSystemKind::kFBasic, FileSystemKind::kMzBasic,
      FileSystemKind::kCpm};
  for (FileSystemKind kind : kFileSystems) {
    if (!fs.Mount(map, kind)) continue;
    DirectoryCursor root;
    fs.Root(root);
    TreeCount count;
    CountTree(fs, root, 0, count);
    fs.ForgetClaims();
    // The BASIC systems' signatures are short: their directories must hold up too, every entry
    // parsing and most chains ending on the disk (a damaged disk keeps its name).
    const bool basic = kind == FileSystemKind::kN88Basic || kind == FileSystemKind::kHuBasic ||
                       kind == FileSystemKind::kFBasic;
    if (basic &&
        (count.invalid_entries > 0 || 2 * count.broken > count.files + count.directories)) {
      continue;
    }
    id.kind = kind;
    id.variant = fs.Layout().variant;
    DescribeFileSystem(map, fs, id.evidence, sizeof id.evidence);
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
