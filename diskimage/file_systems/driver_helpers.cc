// What the file-system drivers share: in reading a directory entry, names formed from padded
// fields, an entry cleared, a sector's size checked; in adding one, clusters taken, written and
// linked.
#include <cstring>

#include "diskimage/file_systems/file_system_driver.h"

namespace diskimage {

bool LogicalSectorHasSize(const DiskMap& map, const SectorNumbering& numbering, int64_t logical) {
  const int track = logical < 0 ? -1 : numbering.TrackOf(logical);
  const SectorHeader* sector =
      track < 0 ? nullptr : map.Find(track, numbering.SectorNumberOf(logical));
  return sector != nullptr && sector->data_size == numbering.sector_size;
}

void ClearEntry(DirectoryEntry& entry) {
  entry.name[0] = 0;
  entry.name_length = 0;
  entry.long_name[0] = 0;
  entry.long_name_length = 0;
  entry.directory = false;
  entry.ascii = false;
  entry.attributes = 0;
  entry.size = -1;
  entry.has_date = false;
  entry.date = FileDate{};
  entry.first_cluster = 0;
  entry.location = 0;
}

void FormName(const unsigned char* name, int name_length, const unsigned char* extension,
              int extension_length, bool trim_nuls, DirectoryEntry& entry) {
  const auto trimmed = [trim_nuls](const unsigned char* bytes, int length) {
    while (length > 0 && (bytes[length - 1] == ' ' || (trim_nuls && bytes[length - 1] == 0))) {
      --length;
    }
    return length;
  };
  const int n = trimmed(name, name_length);
  const int e = extension == nullptr ? 0 : trimmed(extension, extension_length);
  memcpy(entry.name, name, static_cast<size_t>(n));
  int length = n;
  if (e > 0) {
    entry.name[length++] = '.';
    memcpy(entry.name + length, extension, static_cast<size_t>(e));
    length += e;
  }
  entry.name[length] = 0;
  entry.name_length = length;
}

int64_t FirstSectorOfCluster(const VolumeLayout& layout, int cluster) {
  return layout.cluster_start +
         int64_t{cluster - layout.first_cluster} * layout.sectors_per_cluster;
}

int CountFreeClusters(const Volume& volume) {
  const VolumeLayout& l = volume.layout;
  int free = 0;
  for (int c = l.first_cluster; c < l.first_cluster + l.cluster_count; ++c) {
    free += volume.table[c] == kClusterFree;
  }
  return free;
}

bool TakeFreeClusters(const Volume& volume, int64_t count, int* taken, AddRefusal& refusal) {
  const VolumeLayout& l = volume.layout;
  int found = 0;
  for (int c = l.first_cluster; c < l.first_cluster + l.cluster_count && found < count; ++c) {
    if (volume.table[c] == kClusterFree) taken[found++] = c;
  }
  if (found == count) return true;
  const int64_t cluster_bytes = int64_t{l.sectors_per_cluster} * l.numbering.sector_size;
  refusal = AddRefusal{AddRefusal::kNoRoom, CountFreeClusters(volume) * cluster_bytes,
                       count * cluster_bytes};
  return false;
}

bool ClustersWritable(const Volume& volume, const int* taken, int count, size_t image_size) {
  const VolumeLayout& l = volume.layout;
  for (int i = 0; i < count; ++i) {
    for (int s = 0; s < l.sectors_per_cluster; ++s) {
      if (!CanWriteLogicalSector(*volume.map, l.numbering, FirstSectorOfCluster(l, taken[i]) + s,
                                 image_size)) {
        return false;
      }
    }
  }
  return true;
}

void WriteClusters(const Volume& volume, unsigned char* image, size_t image_size, const int* taken,
                   int count, const unsigned char* data, int64_t size) {
  const VolumeLayout& l = volume.layout;
  const int sector_size = l.numbering.sector_size;
  unsigned char sector[1024];
  int64_t from = 0;
  for (int i = 0; i < count; ++i) {
    for (int s = 0; s < l.sectors_per_cluster; ++s, from += sector_size) {
      memset(sector, 0, sizeof sector);
      if (from < size) {
        memcpy(sector, data + from,
               static_cast<size_t>(size - from < sector_size ? size - from : sector_size));
      }
      WriteLogicalSector(*volume.map, l.numbering, FirstSectorOfCluster(l, taken[i]) + s, sector,
                         image, image_size);
    }
  }
}

void LinkClusters(Volume& volume, const int* taken, int count, int64_t size, bool whole_clusters) {
  const VolumeLayout& l = volume.layout;
  const int64_t cluster_bytes = int64_t{l.sectors_per_cluster} * l.numbering.sector_size;
  for (int i = 0; i + 1 < count; ++i) volume.table[taken[i]] = static_cast<int16_t>(taken[i + 1]);
  if (count == 0) return;
  const int64_t in_last = size - (count - 1) * cluster_bytes;
  int used = static_cast<int>((in_last + l.numbering.sector_size - 1) / l.numbering.sector_size);
  if (used < 1) used = 1;
  if (whole_clusters || used > l.sectors_per_cluster) used = l.sectors_per_cluster;
  volume.table[taken[count - 1]] = EndMark(used);
}

bool FindFreeEntry(const Volume& volume, int64_t start, int sectors, int entry_size,
                   int64_t& slot_sector, int& slot) {
  unsigned char sector[1024];
  const SectorNumbering& numbering = volume.layout.numbering;
  for (int s = 0; s < sectors; ++s) {
    ReadLogicalSector(*volume.map, numbering, start + s, sector);
    for (int e = 0; e < numbering.sector_size / entry_size; ++e) {
      if (sector[entry_size * e] == 0x00 || sector[entry_size * e] == 0xFF) {
        slot_sector = start + s;
        slot = e;
        return true;
      }
    }
  }
  return false;
}

bool SectorsWritable(const Volume& volume, const int64_t* sectors, int count, size_t image_size) {
  for (int i = 0; i < count; ++i) {
    if (!CanWriteLogicalSector(*volume.map, volume.layout.numbering, sectors[i], image_size)) {
      return false;
    }
  }
  return true;
}

int ChainClusters(const Volume& volume, int first, int* clusters) {
  const VolumeLayout& l = volume.layout;
  if (first < l.first_cluster) return 0;
  int count = 0;
  for (int cluster = first;;) {
    if (cluster < l.first_cluster || cluster >= l.first_cluster + l.cluster_count ||
        count >= l.cluster_count) {
      return -1;  // off the disk, or more clusters than it has: a loop
    }
    clusters[count++] = cluster;
    const int16_t next = volume.table[cluster];
    if (IsEndMark(next)) return count;
    if (next < 0) return -1;
    cluster = next;
  }
}

bool RemoveChainedFile(Volume& volume, unsigned char* image, size_t image_size,
                       const DirectoryEntry& entry, unsigned char deleted_mark,
                       bool (*table_writable)(const Volume& volume, size_t image_size),
                       void (*store_table)(const Volume& volume, unsigned char* image,
                                           size_t image_size),
                       AddRefusal& refusal) {
  const VolumeLayout& l = volume.layout;
  refusal = AddRefusal{};
  if (entry.directory) {
    refusal.reason = AddRefusal::kNotSupported;
    return false;
  }
  int clusters[kMaxClusterCount];
  const int count = ChainClusters(volume, entry.first_cluster, clusters);
  const int64_t entry_sector = entry.location / 64;
  const int index = entry.location % 64;
  if (count < 0 || entry.location < 0 || (index + 1) * l.entry_size > l.numbering.sector_size) {
    refusal.reason = AddRefusal::kDamaged;
    return false;
  }
  if (!SectorsWritable(volume, &entry_sector, 1, image_size) ||
      !table_writable(volume, image_size)) {
    refusal.reason = AddRefusal::kNotWritable;
    return false;
  }
  for (int i = 0; i < count; ++i) volume.table[clusters[i]] = kClusterFree;
  store_table(volume, image, image_size);
  unsigned char sector[1024];
  ReadLogicalSector(*volume.map, l.numbering, entry_sector, sector);
  sector[index * l.entry_size] = deleted_mark;
  WriteLogicalSector(*volume.map, l.numbering, entry_sector, sector, image, image_size);
  return true;
}

}  // namespace diskimage
