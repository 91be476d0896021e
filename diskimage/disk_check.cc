// Telling a D88 disk header from other bytes, and a whole disk from one the image cut short.
#include "diskimage/disk_check.h"

#include <cinttypes>
#include <cstdio>

namespace diskimage {
namespace {

// The first track can begin where a table of 160 tracks ends, as older writers make it.
constexpr int64_t kFirstTrackOffset = 0x2A0;

}  // namespace

void CheckDisk(const D88Image& image, DiskCheck& check) {
  check = DiskCheck{true, "", 0, 0};
  const int64_t size = image.DiskSize();
  const int64_t end = image.DiskOffset() + size;
  if (image.DiskOffset() >= 0 && end > image.ImageSize()) {
    check.lacking_bytes = end - image.ImageSize();
  }
  int outside = 0;
  int first_outside = -1;
  for (int track = 0; track < D88Image::kTrackCount; ++track) {
    const int64_t entry = image.TrackTableEntry(track);
    if (entry != 0 && (entry < kFirstTrackOffset || entry > size)) {
      if (outside++ == 0) first_outside = track;
    }
    if (image.TrackBeyondImage(track)) ++check.missing_tracks;
  }
  const int media = image.MediaType();
  if (media != 0x00 && media != 0x10 && media != 0x20 && media != 0x30 && media != 0x40) {
    snprintf(check.reason, sizeof check.reason,
             "its media byte is %02Xh, none of 00h, 10h, 20h, 30h, 40h", media & 0xFF);
  } else if (size < D88Image::kDiskHeaderSize) {
    snprintf(check.reason, sizeof check.reason,
             "its size field (%" PRId64 ") is smaller than a disk header", size);
  } else if (outside > 0) {
    snprintf(check.reason, sizeof check.reason,
             "%d track-table entr%s (the first of track %d) point%s outside the %" PRId64
             " bytes its size field gives",
             outside, outside == 1 ? "y" : "ies", first_outside, outside == 1 ? "s" : "", size);
  } else {
    return;
  }
  check.d88 = false;
}

}  // namespace diskimage
