// diskimage: the map of one disk's sectors (every track's headers read once, in stored order), a
// summary of its geometry and what departs from it, and sectors read by logical number as the
// file systems count them.
#ifndef DISKIMAGE_DISK_MAP_H_
#define DISKIMAGE_DISK_MAP_H_

#include <cstddef>
#include <cstdint>

#include "diskimage/sector_source.h"

namespace diskimage {

// The usual shape of a disk and the tracks and sectors that depart from it.
struct DiskGeometry {
  int tracks_present;       // track-table entries that point inside the disk and the image
  int missing_tracks;       // entries that point inside the disk but past the image's end
  int cylinders;            // highest present track index / 2 + 1 (0 without tracks)
  int heads;                // 2 when an odd track index is present, else 1 (0 without tracks)
  int sectors_per_track;    // the commonest sector count of the tracks that hold sectors
  int sector_size;          // the commonest data size of their sectors
  int empty_tracks;         // present tracks that hold no sector
  bool fm_track0;           // track 0 holds single-density (FM) sectors
  int fm_tracks;            // tracks (track 0 included) holding FM sectors
  int odd_count_tracks;     // tracks with sectors, holding another number than sectors_per_track
  int odd_size_tracks;      // tracks holding a sector of another size than sector_size
  int duplicate_id_tracks;  // tracks on which one sector number occurs twice
  int long_tracks;          // tracks holding more than DiskMap::kMaxSectorsPerTrack sectors
  int error_sectors;        // sectors whose status is not 0x00 (CRC errors, missing marks)
  int deleted_sectors;      // sectors with a deleted-data mark
  int total_sectors;        // sectors mapped
};

// The sectors of one disk, read from its container. Holds up to kMaxSectorsPerTrack headers of each
// of the kTrackCount tracks (421,160 bytes on 64-bit systems): give it static storage or allocate
// it. Not copyable.
class DISKIMAGE_API DiskMap {
 public:
  static constexpr int kMaxSectorsPerTrack = 64;

  DiskMap() = default;
  DiskMap(const DiskMap&) = delete;
  DiskMap& operator=(const DiskMap&) = delete;

  // Maps the disk that `source` holds (for a D88Image, its selected disk), which the map then
  // reads from: each track's headers are read the first time the track is asked about (the
  // geometry reads them all), so that a look at a few tracks costs a few; the source must stay
  // open, with that disk selected, while the map is used. A track that holds more than
  // kMaxSectorsPerTrack sectors keeps its first ones and counts as long. Cost: at most kTrackCount
  // * (kMaxSectorsPerTrack + 1) headers, whatever the image holds.
  void Load(SectorSource& source);

  bool TrackPresent(int track) const;
  // The sectors of `track` kept, in stored order; 0 for a track outside 0..kTrackCount-1.
  int SectorCount(int track) const;
  // Sector `i` (below SectorCount(track)) of `track`.
  const SectorHeader& Sector(int track, int i) const { return sectors[track][i]; }
  // The first sector of `track` whose sector number is `r`, or nullptr.
  const SectorHeader* Find(int track, int r) const;

  // What the disk holds, and what departs from its commonest shape.
  DiskGeometry Summarize() const;

  // Copies up to `max_len` bytes of `sector`'s data into `dest`; returns the bytes copied.
  int Read(const SectorHeader& sector, unsigned char* dest, int max_len) const;
  // The same from the data's byte `from` on (0 bytes for `from` outside the data).
  int ReadPart(const SectorHeader& sector, int from, unsigned char* dest, int max_len) const;
  // Where `length` bytes of `sector`'s data from byte `from` lie in memory, or nullptr (see
  // SectorSource::ViewSectorBytes).
  const unsigned char* View(const SectorHeader& sector, int from, int length) const;

  // True when every sector kept holds one byte value throughout, and there is at least one.
  bool OnlyFillerBytes() const;
  // The sectors kept that hold one byte value throughout (a format's filler), and the value most
  // of them hold in `commonest_filler`. Reads every sector's data once.
  int FillerSectors(int& commonest_filler) const;

 private:
  // Reads the headers of `track` (0..kTrackCount-1) unless they are read already; LoadAll of
  // every track.
  void LoadTrack(int track) const;
  void LoadAll() const;
  // What Summarize returns, worked out (identification asks it several times a disk).
  DiskGeometry Summarized() const;

  SectorSource* source = nullptr;
  mutable bool summarized = false;
  mutable DiskGeometry summary = {};
  // What is known of each track, filled as the tracks are asked about.
  mutable bool loaded[SectorSource::kTrackCount] = {};
  mutable int counts[SectorSource::kTrackCount] = {};
  mutable bool present[SectorSource::kTrackCount] = {};
  mutable bool missing[SectorSource::kTrackCount] = {};
  mutable bool long_track[SectorSource::kTrackCount] = {};
  mutable SectorHeader sectors[SectorSource::kTrackCount][kMaxSectorsPerTrack];
};

// How a file system numbers a disk's sectors: logical sector L lies on cylinder
// L / (sectors_per_track * heads), head (L / sectors_per_track) % heads, sector number
// first_sector + L % sectors_per_track. A two-sided disk keeps cylinder c, head h at track index
// 2c + h; a one-sided one at index c * track_step (2 when its images leave the odd indexes empty,
// 1 when they store the cylinders one after another).
struct DISKIMAGE_API SectorNumbering {
  int sector_size;          // bytes a logical sector holds
  int sectors_per_track;    // 1 and more
  int heads;                // 1 or 2
  int first_sector;         // the sector number of a track's first logical sector (usually 1)
  int track_step;           // for heads == 1: 1 or 2
  bool swap_heads = false;  // two-sided, head 1 first: logical track t is cylinder t / 2, head
                            // 1 - t % 2 (the Sharp MZ machines)
  bool inverted = false;    // every byte stored inverted (XOR FFh), as the MZ machines store it

  // The track index of logical sector `logical` (>= 0), or -1 beyond the last track.
  int TrackOf(int64_t logical) const;
  int SectorNumberOf(int64_t logical) const {
    return first_sector + static_cast<int>(logical % sectors_per_track);
  }
};

// What reading one logical sector found.
enum class SectorRead {
  kFine,      // all its bytes, from a sector without an error status
  kMissing,   // no such sector on the disk (zeros in its place)
  kShort,     // a sector with fewer bytes than the numbering says (zeros after them)
  kCrcError,  // a sector whose status records a CRC error or a missing mark (its bytes as read)
};

// Reads logical sector `logical` of `map` under `numbering` into `dest`
// (numbering.sector_size bytes, always all written: zeros where nothing was read; the bytes read
// inverted back where the numbering says so).
DISKIMAGE_API SectorRead ReadLogicalSector(const DiskMap& map, const SectorNumbering& numbering,
                                           int64_t logical, unsigned char* dest);

// Writes `bytes` (numbering.sector_size of them, inverted where the numbering says so) over
// logical sector `logical` of `map`, in `image`, the `image_size` bytes the map's source reads its
// data from (a disk being built, or a writable copy of an image). False, nothing written, for a
// sector that is missing, of another size, or not stored as its own bytes there.
DISKIMAGE_API bool WriteLogicalSector(const DiskMap& map, const SectorNumbering& numbering,
                                      int64_t logical, const unsigned char* bytes,
                                      unsigned char* image, size_t image_size);
// True when WriteLogicalSector would write the sector.
DISKIMAGE_API bool CanWriteLogicalSector(const DiskMap& map, const SectorNumbering& numbering,
                                         int64_t logical, size_t image_size);

// What ReadLogicalSector would return, without reading the data.
DISKIMAGE_API SectorRead ProbeLogicalSector(const DiskMap& map, const SectorNumbering& numbering,
                                            int64_t logical);

}  // namespace diskimage

#endif  // DISKIMAGE_DISK_MAP_H_
