// diskimage: whether a disk's header is one that a D88 writer makes, and how much of the disk the
// image lost: a file that is no D88 image, or one cut short, is told from a healthy one.
#ifndef DISKIMAGE_DISK_CHECK_H_
#define DISKIMAGE_DISK_CHECK_H_

#include <cstdint>

#include "diskimage/d88_image.h"

namespace diskimage {

struct DiskCheck {
  bool d88;               // false: no D88 writer makes this header (see `reason`)
  char reason[160];       // why not, one phrase; "" for a D88 header
  int64_t lacking_bytes;  // what the size field claims past the image's end; 0 when whole
  int missing_tracks;     // tracks the table places inside the disk but past the image's end
  int stored_tracks;      // tracks the table places inside the disk and the image
  int64_t first_track;    // where the first track begins (the header's end); -1 without tracks
  int table_entries;      // the track-table entries before the first track: 164, or fewer where
                          // the first track begins inside the table's 164 fields
  bool writer_table;      // entry 0 is 0 or the first track, as every D88 writer leaves it
};

// Checks the disk selected in `image`. A D88 header has a media byte of 00h, 10h, 20h, 30h or
// 40h and a size field (taken unsigned) of at least 0x288 bytes, the shortest header real files
// have; its first track (the lowest table entry that points past its own field: the header ends
// there) begins after 0x288, within the size field and within the image. Entries past the size
// field are no tracks and do not count against a header (real files have them). Any header gets
// an answer; nothing but the header is read.
DISKIMAGE_API void CheckDisk(const D88Image& image, DiskCheck& check);

}  // namespace diskimage

#endif  // DISKIMAGE_DISK_CHECK_H_
