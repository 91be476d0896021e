// diskimage: the selected disk of a D88 image as its sector map reads it: the tracks its table
// lists before the first track begins, less entries that point inside another track's bytes.
#ifndef DISKIMAGE_D88_DISK_H_
#define DISKIMAGE_D88_DISK_H_

#include "diskimage/d88_image.h"
#include "diskimage/sector_source.h"

namespace diskimage {

// A view of one D88 disk for DiskMap::Load. Some writers begin the first track inside the
// 164-entry table (at 0x2A0, after 160 entries), so that the last entries are that track's own
// bytes; some leave entries that point into the data of another track. Neither is a track: the
// view leaves them out. A track whose first header counts no sector (an unformatted track stored
// as zeros) holds no sector here. D88Image itself reads every entry as stored.
class DISKIMAGE_API D88Disk final : public SectorSource {
 public:
  // Takes the disk selected in `image` (which must stay open with it selected while the view is
  // used). Walks the headers of the tracks whose entries are out of order (none on a file a D88
  // writer made) to find the ones that lie inside another track. A disk whose header no D88
  // writer makes keeps every entry that points inside the disk.
  void Select(D88Image& image);

  bool HasTrack(int track) const override;
  bool TrackBeyondImage(int track) const override;
  int ReadTrackSectors(int track, SectorHeader* dest, int max_count) override;
  int ReadSectorBytes(const SectorHeader& sector, int from, unsigned char* dest,
                      int max_len) override;
  const unsigned char* ViewSectorBytes(const SectorHeader& sector, int from, int length) override;

 private:
  bool Kept(int track) const { return track >= 0 && track < kTrackCount && kept[track]; }

  D88Image* image = nullptr;
  bool kept[kTrackCount] = {};  // the image's track, and one of the disk's own
};

}  // namespace diskimage

#endif  // DISKIMAGE_D88_DISK_H_
