// diskimage: the sectors of one disk as a container other than D88 lists them, held in a table
// whose data lie in the image's bytes in memory; and the plain grid of sectors that raw dumps and
// the simple headed containers store.
#ifndef DISKIMAGE_CONTAINERS_SECTOR_TABLE_H_
#define DISKIMAGE_CONTAINERS_SECTOR_TABLE_H_

#include <cstddef>
#include <cstdint>

#include "diskimage/sector_source.h"

namespace diskimage {

// Up to kSectorsKept headers of each track (427 KiB on 64-bit systems): give it static storage or
// allocate it. Not copyable.
class DISKIMAGE_API SectorTable final : public SectorSource {
 public:
  // One more than a sector map keeps, so that the map can tell a long track.
  static constexpr int kSectorsKept = 65;

  SectorTable() = default;
  SectorTable(const SectorTable&) = delete;
  SectorTable& operator=(const SectorTable&) = delete;

  // Empties the table; sector data will be read from the `size` bytes at `bytes`, which the caller
  // keeps alive and unchanged while the table is used.
  void Reset(const unsigned char* bytes, size_t size);

  // Marks `track` as stored, though it may hold no sector. False (nothing done) outside
  // 0..kTrackCount-1.
  bool StoreTrack(int track);

  // Marks `track` as one the container lists but whose data the image lost.
  void LoseTrack(int track);

  // Adds `sector` to `track` (which it marks stored), after those added before. Data that would
  // lie past the image's end is cut to what the image holds; sectors past kSectorsKept are
  // dropped. Nothing is added for a track outside 0..kTrackCount-1.
  void AddSector(int track, const SectorHeader& sector);

  bool HasTrack(int track) const override;
  bool TrackBeyondImage(int track) const override;
  int ReadTrackSectors(int track, SectorHeader* dest, int max_count) override;
  int ReadSectorBytes(const SectorHeader& sector, int from, unsigned char* dest,
                      int max_len) override;
  const unsigned char* ViewSectorBytes(const SectorHeader& sector, int from, int length) override;

 private:
  const unsigned char* bytes = nullptr;
  size_t size = 0;
  bool stored[kTrackCount] = {};
  bool lost[kTrackCount] = {};
  int counts[kTrackCount] = {};
  // Read only below counts[track]; left unset, so that an object in static storage costs no page
  // until its sectors are added.
  SectorHeader sectors[kTrackCount][kSectorsKept];
};

// A disk of equal tracks stored one after another, cylinder by cylinder, head 0 then head 1,
// sectors in ascending number from 1: a raw dump's layout, which FDI, DIM and DCP share.
struct DISKIMAGE_API SectorGrid {
  int cylinders;   // 1..82
  int heads;       // 1 or 2
  int sectors;     // per track, 1..255
  int size_code;   // sector size 128 << size_code, 0..7
  bool fm_track0;  // cylinder 0 head 0 holds FM sectors of 128 bytes (a PC-98 BASIC 2HD disk)

  // The bytes of the track stored `k`-th (0-based).
  int64_t TrackBytes(int k) const;
  // The bytes of every track.
  int64_t DiskBytes() const;
  // The D88 media byte of a disk of this shape: 20h (2HD) for tracks of more than 5120 bytes
  // (double-density tracks hold at most 9 x 512 or 16 x 256), 00h (2D) up to 42 cylinders, 10h
  // (2DD) otherwise.
  int Media() const;
};

// The size code of a sector of `bytes` bytes (128 << code, code 0..7), or -1 for another size.
DISKIMAGE_API int SizeCodeOf(int64_t bytes);

// The D88 media byte of a disk of `cylinders` cylinders: 20h (2HD) where `high_density`, else 00h
// (2D) up to 42 cylinders and 10h (2DD) beyond.
DISKIMAGE_API int MediaByte(bool high_density, int cylinders);

// Adds the track stored `k`-th in `grid` (cylinder k / heads, head k % heads; a one-sided disk's
// cylinder c at track index 2c) to `table`, its data from image offset `offset` on: IDs C, H and
// R = 1, 2, ... as the grid numbers them, good data, MFM unless the grid says FM. A track whose
// data begins past the image's end is lost, one it ends inside holds what the image has. Returns
// the offset after the track.
DISKIMAGE_API int64_t AddGridTrack(SectorTable& table, const SectorGrid& grid, int k,
                                   int64_t offset, size_t image_size);

}  // namespace diskimage

#endif  // DISKIMAGE_CONTAINERS_SECTOR_TABLE_H_
