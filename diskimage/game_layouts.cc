// The two game layouts' directories and files.
#include "diskimage/game_layouts.h"

#include <algorithm>
#include <cstring>

namespace diskimage {

namespace {

// What tells the two layouts apart.
struct LayoutShape {
  int directory_sectors;  // sectors 1.. of track 1 (cylinder 0, head 1)
  int directory_code;     // their size code
  int entry_size;
  int first_entry;  // dskcut's entry 0 is no file
  int first_track;  // data tracks first_track .. 79
  int sector_code;
  int sectors_per_track;
};

constexpr LayoutShape kDskcutShape = {2, 3, 16, 1, 2, 3, 5};
constexpr LayoutShape kDskpullShape = {4, 1, 8, 0, 4, 2, 10};
constexpr int kLastTrack = 79;
constexpr int kTrackBytes = 5120;

const LayoutShape* ShapeOf(FileSystemKind layout) {
  return layout == FileSystemKind::kDskcut    ? &kDskcutShape
         : layout == FileSystemKind::kDskpull ? &kDskpullShape
                                              : nullptr;
}

// The sector of `track` whose ID is (c, h, r, n), in stored order; nullptr when there is none.
const SectorHeader* FindId(const DiskMap& map, int track, int c, int h, int r, int n) {
  for (int i = 0; i < map.SectorCount(track); ++i) {
    const SectorHeader& s = map.Sector(track, i);
    if (s.c == c && s.h == h && s.r == r && s.n == n) return &s;
  }
  return nullptr;
}

// Forms the entry's name as the layout's program does.
void FormName(FileSystemKind layout, const unsigned char* e, char* name) {
  int out = 0;
  if (layout == FileSystemKind::kDskpull) {
    for (int i = 0; i < 4 && e[i] != 0; ++i) name[out++] = static_cast<char>(e[i]);
  } else {
    for (int i = 0; i < 6 && e[i] != ' '; ++i) name[out++] = static_cast<char>(e[i]);
    if (e[6] != ' ') {
      name[out++] = '.';
      for (int i = 6; i < 9 && e[i] != ' '; ++i) name[out++] = static_cast<char>(e[i]);
    }
  }
  name[out] = '\0';
}

}  // namespace

int64_t LayoutCapacity(FileSystemKind layout) {
  const LayoutShape* shape = ShapeOf(layout);
  return shape == nullptr ? 0 : int64_t{kLastTrack - shape->first_track + 1} * kTrackBytes;
}

int ReadLayoutDirectory(const DiskMap& map, FileSystemKind layout,
                        LayoutFile files[kMaxLayoutFiles]) {
  const LayoutShape* shape = ShapeOf(layout);
  if (shape == nullptr) return 0;
  unsigned char directory[2048];
  const int size = 128 << shape->directory_code;
  for (int r = 1; r <= shape->directory_sectors; ++r) {
    const SectorHeader* s = map.Find(1, r);
    if (s == nullptr || s->c != 0 || s->h != 1 || s->n != shape->directory_code ||
        s->data_size != size || map.Read(*s, directory + (r - 1) * size, size) != size) {
      return 0;
    }
  }
  const bool dskcut = layout == FileSystemKind::kDskcut;
  const int sector_size = 128 << shape->sector_code;
  int count = 0;
  for (int k = shape->first_entry; k < kMaxLayoutFiles; ++k) {
    const unsigned char* e = directory + shape->entry_size * k;
    if (e[0] == 0) break;
    // A name of control bytes is taken for no directory's (the programs would write it).
    for (int i = 0; i < (dskcut ? 9 : 4) && (dskcut || e[i] != 0); ++i) {
      if (e[i] < 0x20) return 0;
    }
    // The programs read an entry's bytes as a place in their linear track image: a start block
    // or position past the track's end goes on into the next tracks.
    LayoutFile& file = files[count];
    const int start_track = dskcut ? e[9] : e[4];
    file.start = (start_track - shape->first_track) * int64_t{kTrackBytes} +
                 (dskcut ? e[10] * 256 : (e[5] / 2) * sector_size);
    file.size = dskcut ? e[11] * 256 - (e[12] == 0x80 ? 128 : 0) : e[6] + 256 * e[7];
    if (start_track < shape->first_track || file.size < 0 ||
        file.start + file.size > LayoutCapacity(layout)) {
      return 0;
    }
    const int track = shape->first_track + static_cast<int>(file.start / kTrackBytes);
    if (map.SectorCount(track) == 0 || map.Sector(track, 0).data_size != sector_size) return 0;
    FormName(layout, e, file.name);
    ++count;
  }
  return count;
}

int64_t ReadLayoutFile(const DiskMap& map, FileSystemKind layout, const LayoutFile& file,
                       unsigned char* dest, int& missing_sectors) {
  missing_sectors = 0;
  const LayoutShape* shape = ShapeOf(layout);
  if (shape == nullptr || file.start < 0 || file.size <= 0 ||
      file.start + file.size > LayoutCapacity(layout)) {
    return 0;
  }
  const int sector_size = 128 << shape->sector_code;
  const int64_t end = file.start + file.size;
  for (int64_t at = file.start; at < end;) {
    const int track = static_cast<int>(at / kTrackBytes) + shape->first_track;
    const int64_t track_start = (track - shape->first_track) * int64_t{kTrackBytes};
    const int base = layout == FileSystemKind::kDskcut && map.SectorCount(track) > 0
                         ? map.Sector(track, 0).r & 0xF0
                         : 0;
    bool readable = true;  // a track is read up to its first missing or short sector
    for (int k = 0; k < shape->sectors_per_track && at < end; ++k) {
      const int64_t sector_start = track_start + int64_t{k} * sector_size;
      const int64_t sector_end = sector_start + sector_size;
      // The sectors before the file's are read too: one missing there ends the track.
      const SectorHeader* s =
          readable ? FindId(map, track, track / 2, track % 2, base | (k + 1), shape->sector_code)
                   : nullptr;
      unsigned char sector[1024];
      readable = s != nullptr && map.Read(*s, sector, sector_size) == sector_size;
      if (sector_end <= at) continue;
      const int64_t from = at - sector_start;
      const int64_t length = std::min(sector_end, end) - at;
      if (readable) {
        memcpy(dest + (at - file.start), sector + from, static_cast<size_t>(length));
      } else {
        memset(dest + (at - file.start), 0, static_cast<size_t>(length));
        ++missing_sectors;
      }
      at += length;
    }
  }
  return file.size;
}

}  // namespace diskimage
