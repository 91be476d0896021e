// Telling a D88 disk header from other bytes, and a whole disk from one the image cut short.
#include "diskimage/disk_check.h"

#include <cinttypes>
#include <cstdio>

namespace diskimage {
namespace {

constexpr int64_t kTrackTableField = 0x20;
// Real files begin their first track as early as 0x288; the header ends where it begins.
constexpr int64_t kShortestHeader = 0x288;

}  // namespace

void CheckDisk(const D88Image& image, DiskCheck& check) {
  check = DiskCheck{true, "", 0, 0, 0, -1, D88Image::kTrackCount, false};
  const int64_t size = image.DiskSize();
  const int64_t available = image.ImageSize() - image.DiskOffset();
  if (image.DiskOffset() >= 0 && size > available) check.lacking_bytes = size - available;
  // The first track: the lowest entry that points past its own field. Entries whose field lies
  // at or after it are that track's bytes, not entries; entries past the size field are no
  // tracks (both are met on real files).
  int64_t first_track = -1;
  for (int track = 0; track < D88Image::kTrackCount; ++track) {
    const int64_t entry = image.TrackTableEntry(track);
    if (entry >= kTrackTableField + 4 * (track + 1) && (first_track < 0 || entry < first_track)) {
      first_track = entry;
    }
  }
  check.first_track = first_track;
  if (first_track >= 0 && first_track < kTrackTableField + 4 * D88Image::kTrackCount) {
    check.table_entries = static_cast<int>((first_track - kTrackTableField) / 4);
  }
  for (int track = 0; track < check.table_entries; ++track) {
    if (image.TrackBeyondImage(track)) {
      ++check.missing_tracks;
    } else if (image.HasTrack(track)) {
      ++check.stored_tracks;
    }
  }
  const int64_t entry0 = image.TrackTableEntry(0);
  check.writer_table = entry0 == 0 || entry0 == first_track;
  const int media = image.MediaType();
  if (media != 0x00 && media != 0x10 && media != 0x20 && media != 0x30 && media != 0x40) {
    snprintf(check.reason, sizeof check.reason,
             "its media byte is %02Xh, none of 00h, 10h, 20h, 30h, 40h", media & 0xFF);
  } else if (size < kShortestHeader) {
    snprintf(check.reason, sizeof check.reason,
             "its size field (%" PRId64 ") is smaller than a disk header", size);
  } else if (first_track >= 0 && first_track < kShortestHeader) {
    snprintf(check.reason, sizeof check.reason,
             "its first track would begin at %" PRId64 ", inside the disk header", first_track);
  } else if (first_track > size) {
    snprintf(check.reason, sizeof check.reason,
             "its first track would begin at %" PRId64 ", past the %" PRId64
             " bytes its size field gives",
             first_track, size);
  } else if (first_track >= available) {
    snprintf(check.reason, sizeof check.reason,
             "its first track would begin at %" PRId64 ", past the image's end (%" PRId64 " bytes)",
             first_track, available);
  } else {
    return;
  }
  check.d88 = false;
}

}  // namespace diskimage
