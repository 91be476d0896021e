// CP/M 2.2: a format from a table of known ones (geometry, reserved tracks, block size,
// directory entries), its directory of 32-byte extents, and each file's blocks gathered from the
// extents that share its user number and name.
#include <cstring>

#include "diskimage/file_system_formats.h"

namespace diskimage {
namespace {

// A CP/M format whose every value a real disk or a document fixes.
struct CpmFormat {
  const char* name;
  int cylinders, heads, sectors, sector_size;
  int reserved_tracks;
  int block_size;
  int directory_entries;
};

constexpr CpmFormat kCpmFormats[] = {
    // The X1turbo's 2D disks: directory at cylinder 2 head 0, no skew.
    {"X1turbo 2D", 40, 2, 16, 256, 4, 2048, 64},
};

constexpr int kEntrySize = 32;
constexpr int kFreeEntry = 0xE5;
constexpr int kLastStatus = 0x21;  // 16-31 passwords, 20h label, 21h time stamps (CP/M 3)
constexpr int kRecord = 128;
constexpr int kRecordsPerExtent = 128;

bool IsFile(const unsigned char* e) { return e[0] <= 15; }

// A well-formed entry: a known status and, for a file, a name CP/M accepts and legal counts.
bool WellFormed(const unsigned char* e) {
  if (e[0] == kFreeEntry) return true;
  if (e[0] > kLastStatus) return false;
  if (!IsFile(e)) return true;
  for (int i = 1; i <= 11; ++i) {
    const int c = e[i] & 0x7F;
    if (c < 0x20 || c > 0x7E || strchr("<>.,;:=?*[]", c) != nullptr) return false;
  }
  return (e[1] & 0x7F) != ' ' && e[12] <= 31 && e[14] <= 63 && e[15] <= 0x80;
}

// True when entries `a` and `b` belong to one file: one user, one name (attribute bits aside).
bool SameFile(const unsigned char* a, const unsigned char* b) {
  if (a[0] != b[0]) return false;
  for (int i = 1; i <= 11; ++i) {
    if ((a[i] & 0x7F) != (b[i] & 0x7F)) return false;
  }
  return true;
}

int ExtentNumber(const unsigned char* e) { return e[12] | (e[14] << 5); }

int PointerAt(const unsigned char* e, int i, int pointer_bytes) {
  return pointer_bytes == 1 ? e[16 + i] : ReadLe16(e + 16 + 2 * i);
}

// The entry of the file of entry `first` with the highest extent number.
const unsigned char* LastExtent(const unsigned char* directory, const VolumeLayout& l, int first) {
  const unsigned char* file = directory + kEntrySize * first;
  const unsigned char* last = file;
  for (int i = first; i < l.directory_entries; ++i) {
    const unsigned char* e = directory + kEntrySize * i;
    if (SameFile(e, file) && ExtentNumber(e) > ExtentNumber(last)) last = e;
  }
  return last;
}

// The file's length in bytes: its records, the last cut to the byte count its last entry holds.
int64_t FileBytes(const unsigned char* last) {
  const int64_t records = int64_t{ExtentNumber(last)} * kRecordsPerExtent + last[15];
  const int bytes_in_last = last[13];
  if (records > 0 && bytes_in_last >= 1 && bytes_in_last < kRecord) {
    return (records - 1) * kRecord + bytes_in_last;
  }
  return records * kRecord;
}

}  // namespace

bool MountCpm(const DiskMap& map, VolumeLayout& layout, int16_t* table, unsigned char* directory) {
  for (const CpmFormat& f : kCpmFormats) {
    VolumeLayout l = {};
    l.numbering = SectorNumbering{f.sector_size, f.sectors, f.heads, 1, 1};
    l.sectors_per_cluster = f.block_size / f.sector_size;
    l.cluster_count =
        (f.cylinders * f.heads - f.reserved_tracks) * f.sectors / l.sectors_per_cluster;
    l.cluster_start = int64_t{f.reserved_tracks} * f.sectors;
    l.root_start = l.cluster_start;
    const int directory_blocks =
        (f.directory_entries * kEntrySize + f.block_size - 1) / f.block_size;
    l.root_sectors = directory_blocks * l.sectors_per_cluster;
    l.entry_size = kEntrySize;
    l.variant = f.name;
    l.directory_entries = f.directory_entries;
    l.pointer_bytes = l.cluster_count <= 256 ? 1 : 2;
    l.extent_mask = (16 / l.pointer_bytes) * f.block_size / (kRecord * kRecordsPerExtent) - 1;
    if (l.cluster_count > kMaxClusterCount ||
        l.root_sectors * f.sector_size > FileSystem::kMaxDirectoryBytes) {
      continue;
    }
    bool whole = true;
    for (int s = 0; s < l.root_sectors && whole; ++s) {
      whole = LogicalSectorHasSize(map, l.numbering, l.root_start + s) &&
              ReadLogicalSector(map, l.numbering, l.root_start + s,
                                directory + s * f.sector_size) != SectorRead::kMissing;
    }
    if (!whole) continue;
    int files = 0;
    bool formed = true;
    for (int i = 0; i < f.directory_entries && formed; ++i) {
      const unsigned char* e = directory + kEntrySize * i;
      formed = WellFormed(e);
      files += IsFile(e) ? 1 : 0;
    }
    // An all-E5h directory is any freshly formatted disk's: no evidence.
    if (!formed || files == 0) continue;
    // The disk's tracks fit the format (looked at last: it reads every track's headers).
    int highest = -1;
    for (int track = 0; track < SectorSource::kTrackCount; ++track) {
      if (map.TrackPresent(track)) highest = track;
    }
    const int last_track = 2 * f.cylinders - 1;
    if (highest > last_track + 4 || 2 * highest < last_track) continue;
    for (int b = 0; b < l.cluster_count; ++b)
      table[b] = b < directory_blocks ? kClusterReserved : kClusterFree;
    for (int i = 0; i < f.directory_entries; ++i) {
      const unsigned char* e = directory + kEntrySize * i;
      for (int p = 0; IsFile(e) && p < 16 / l.pointer_bytes; ++p) {
        const int block = PointerAt(e, p, l.pointer_bytes);
        if (block >= directory_blocks && block < l.cluster_count) table[block] = EndMark(0);
      }
    }
    layout = l;
    return true;
  }
  return false;
}

EntryParse ParseCpmEntry(const unsigned char* directory, const VolumeLayout& layout, int index,
                         int user, DirectoryEntry& entry) {
  const unsigned char* e = directory + kEntrySize * index;
  if (!IsFile(e) || e[0] != user) return EntryParse::kSkip;
  for (int i = 0; i < index; ++i) {
    if (SameFile(directory + kEntrySize * i, e)) return EntryParse::kSkip;  // given before
  }
  unsigned char name[8], type[3];
  for (int i = 0; i < 8; ++i) name[i] = e[1 + i] & 0x7F;
  for (int i = 0; i < 3; ++i) type[i] = e[9 + i] & 0x7F;
  FormName(name, 8, type, 3, false, entry);
  entry.attributes = (e[9] >> 7) | ((e[10] >> 7) << 1) | ((e[11] >> 7) << 2);
  entry.size = FileBytes(LastExtent(directory, layout, index));
  entry.first_cluster = index;
  return EntryParse::kEntry;
}

bool CpmUserHasFiles(const unsigned char* directory, const VolumeLayout& layout, int user) {
  for (int i = 0; i < layout.directory_entries; ++i) {
    if (directory[kEntrySize * i] == user) return true;
  }
  return false;
}

void LocateCpmFile(const unsigned char* directory, const VolumeLayout& layout,
                   const DirectoryEntry& entry, FileUnits& units, ChainDamage& damage) {
  const int first = entry.first_cluster;
  if (first < 0 || first >= layout.directory_entries) return;
  const unsigned char* file = directory + kEntrySize * first;
  const unsigned char* last = LastExtent(directory, layout, first);
  const int64_t block_bytes = int64_t{layout.sectors_per_cluster} * layout.numbering.sector_size;
  const int64_t bytes = (int64_t{ExtentNumber(last)} * kRecordsPerExtent + last[15]) * kRecord;
  int64_t blocks = (bytes + block_bytes - 1) / block_bytes;
  if (blocks > layout.cluster_count) blocks = layout.cluster_count;  // more than the disk holds
  const int pointers = 16 / layout.pointer_bytes;
  const int directory_blocks = static_cast<int>(layout.root_sectors / layout.sectors_per_cluster);
  units.count = static_cast<int>(blocks);
  units.unit_sectors = layout.sectors_per_cluster;
  const int64_t in_last = bytes - (blocks - 1) * block_bytes;
  units.last_unit_sectors =
      static_cast<int>((in_last + layout.numbering.sector_size - 1) / layout.numbering.sector_size);
  for (int k = 0; k * pointers < blocks; ++k) {
    // The entry that holds the file's k-th group of pointers, which must be one.
    const unsigned char* holder = nullptr;
    int holders = 0;
    for (int i = first; i < layout.directory_entries; ++i) {
      const unsigned char* e = directory + kEntrySize * i;
      if (SameFile(e, file) && ExtentNumber(e) / (layout.extent_mask + 1) == k) {
        if (holder == nullptr) holder = e;
        ++holders;
      }
    }
    if (holders != 1) damage.extents_missing = true;
    for (int p = 0; p < pointers && k * pointers + p < blocks; ++p) {
      int32_t& sector = units.first_sector[k * pointers + p];
      sector = -1;
      if (holder == nullptr) continue;
      const int block = PointerAt(holder, p, layout.pointer_bytes);
      if (block < directory_blocks || block >= layout.cluster_count) {
        damage.outside_data = true;
        continue;
      }
      sector =
          static_cast<int32_t>(layout.cluster_start + int64_t{block} * layout.sectors_per_cluster);
    }
  }
}

}  // namespace diskimage
