// What the file-system drivers share in reading a directory entry: names formed from padded
// fields, an entry cleared, a sector's size checked.
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

}  // namespace diskimage
