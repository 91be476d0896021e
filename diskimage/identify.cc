// Identification: each file system tried strictly, its tree counted; then the two game layouts,
// then unformatted disks; whatever is left is unknown.
#include "diskimage/identify.h"

#include <cstdio>
#include <cstring>

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

// Describes a mounted file system in `evidence`.
void DescribeFileSystem(const FileSystem& fs, char* evidence, size_t size) {
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
    case FileSystemKind::kFBasic:
      snprintf(evidence, size,
               "FAT on cylinder 1 sector 1 begins 00 FF FF FF FF; directory entries parse, chains "
               "stay on the disk");
      break;
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

// Reads sectors 1 to `count` of track 1 (cylinder 0, head 1), of size code `n`, into `dest`, as
// the game layouts' directories lie; false when one is missing or of another size.
bool ReadLayoutDirectory(const DiskMap& map, int count, int n, unsigned char* dest) {
  const int size = 128 << n;
  for (int r = 1; r <= count; ++r) {
    const SectorHeader* s = map.Find(1, r);
    if (s == nullptr || s->c != 0 || s->h != 1 || s->n != n || s->data_size != size ||
        map.Read(*s, dest + (r - 1) * size, size) != size) {
      return false;
    }
  }
  return true;
}

// The 16-byte directory of track 1 with data on tracks 2 to 79 of five 1024-byte sectors.
int CountDskcutEntries(const DiskMap& map) {
  unsigned char directory[2048];
  if (!ReadLayoutDirectory(map, 2, 3, directory)) return 0;
  int entries = 0;
  for (int k = 1; k < 128; ++k) {
    const unsigned char* e = directory + 16 * k;
    if (e[0] == 0) break;
    for (int i = 0; i < 9; ++i) {
      if (e[i] < 0x20) return 0;
    }
    const int64_t start = e[9] * int64_t{5120} + e[10] * 256;
    const int64_t size = e[11] * 256 - (e[12] == 0x80 ? 128 : 0);
    if (e[9] < 2 || e[9] > 79 || e[10] >= 20 || (e[12] != 0 && e[12] != 0x80) ||
        start + size > 80 * 5120 || map.SectorCount(e[9]) == 0 ||
        map.Sector(e[9], 0).data_size != 1024) {
      return 0;
    }
    ++entries;
  }
  return entries;
}

// The 8-byte directory of track 1 with data on tracks 4 to 79 of ten 512-byte sectors.
int CountDskpullEntries(const DiskMap& map) {
  unsigned char directory[1024];
  if (!ReadLayoutDirectory(map, 4, 1, directory)) return 0;
  int entries = 0;
  for (int k = 0; k < 128; ++k) {
    const unsigned char* e = directory + 8 * k;
    if (e[0] == 0) break;
    for (int i = 0; i < 4 && e[i] != 0; ++i) {
      if (e[i] < 0x20) return 0;
    }
    const int64_t start = (e[4] - 4) * int64_t{5120} + (e[5] / 2) * 512;
    if (e[4] < 4 || e[4] > 79 || e[5] % 2 != 0 || e[5] / 2 >= 10 ||
        start + ReadLe16(e + 6) > 76 * 5120 || map.SectorCount(e[4]) == 0 ||
        map.Sector(e[4], 0).data_size != 512) {
      return 0;
    }
    ++entries;
  }
  return entries;
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
    DescribeFileSystem(fs, id.evidence, sizeof id.evidence);
    id.files = count.files;
    id.directories = count.directories;
    id.damaged = count.damaged;
    id.invalid_entries = count.invalid_entries;
    id.bytes_free = fs.FreeClusters() * fs.ClusterBytes();
    id.bytes_used = fs.UsedClusters() * fs.ClusterBytes();
    return;
  }
  fs.Mount(map, FileSystemKind::kUnknown);

  if (const int entries = CountDskcutEntries(map); entries > 0) {
    id.kind = FileSystemKind::kDskcut;
    id.files = entries;
    snprintf(id.evidence, sizeof id.evidence,
             "16-byte directory on track 1 with %d entr%s pointing inside tracks 2 to 79", entries,
             entries == 1 ? "y" : "ies");
    return;
  }
  if (const int entries = CountDskpullEntries(map); entries > 0) {
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
