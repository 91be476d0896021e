// diskimage: the files of the two game layouts that dskcut and dskpull read, from a disk's sector
// map: a 16-byte-entry directory on track 1 with data tracks 2-79 of five 1024-byte sectors, and
// an 8-byte-entry one with data tracks 4-79 of ten 512-byte sectors.
#ifndef DISKIMAGE_GAME_LAYOUTS_H_
#define DISKIMAGE_GAME_LAYOUTS_H_

#include <cstdint>

#include "diskimage/disk_map.h"
#include "diskimage/file_system.h"

namespace diskimage {

// One entry of a layout's directory.
struct LayoutFile {
  // kDskcut: the name bytes up to the first space, then "." and the extension bytes up to the
  // first space unless the extension begins with one; kDskpull: the four name bytes up to a NUL.
  // NUL-terminated.
  char name[12];
  int64_t start;  // offset of the data in the layout's data tracks laid end to end
  int64_t size;   // bytes the entry records
};

// The most entries a layout's directory holds.
constexpr int kMaxLayoutFiles = 128;

// Reads the directory of `layout` (kDskcut or kDskpull) into `files`, up to its first empty
// entry. Returns the entries, or 0 when the disk does not hold the layout: a directory sector
// missing or of another size, a name holding a control byte, a size below 0, or data placed
// outside the data tracks (or beginning on a track whose first sector is of another size). A
// start block or position past its track's end (an odd position of kDskpull's included) is read
// on into the next tracks, as the programs read it. Any other kind: 0.
DISKIMAGE_API int ReadLayoutDirectory(const DiskMap& map, FileSystemKind layout,
                                      LayoutFile files[kMaxLayoutFiles]);

// Bytes a data track of `layout` holds (5120 for both), and the most a file can hold: the data
// tracks laid end to end.
DISKIMAGE_API int64_t LayoutCapacity(FileSystemKind layout);

// Copies the file's `file.size` bytes into `dest` (room for them) from the data tracks, each
// track's sectors found by their IDs (cylinder, head, size code and number: 1 to 10, or for
// kDskcut the upper four bits of the track's first stored sector's number with 1 to 5) as the
// programs find them; a track is read from its first sector up to its first missing or short
// one, and what it lacks is zeros, the file's sectors among them counted in `missing_sectors`.
// Returns the bytes copied (file.size for an entry from ReadLayoutDirectory; 0 for data outside
// the tracks).
DISKIMAGE_API int64_t ReadLayoutFile(const DiskMap& map, FileSystemKind layout,
                                     const LayoutFile& file, unsigned char* dest,
                                     int& missing_sectors);

}  // namespace diskimage

#endif  // DISKIMAGE_GAME_LAYOUTS_H_
