// diskimage: the containers a disk is written into, one row each (what each records of a disk and
// its writer), and the pieces their writers share. Not installed.
#ifndef DISKIMAGE_CONTAINERS_CONTAINER_WRITERS_H_
#define DISKIMAGE_CONTAINERS_CONTAINER_WRITERS_H_

#include <cstdint>

#include "diskimage/container_writer.h"

namespace diskimage {

// Which read statuses a container keeps.
enum class KeptStatuses {
  kNone,        // only good sectors
  kDataErrors,  // data CRC errors (B0h) and sectors without a data mark (F0h)
  kBiosErrors,  // the PC-98 disk BIOS's A0h, B0h, E0h and F0h
  kAll,         // any status byte
};

// What a container records of a disk, and how it is written.
struct ContainerWriter {
  ContainerKind kind;
  const char* name;  // as a loss names it ("a raw dump")
  bool grid;         // data only: every track one grid of sectors numbered 1..n
  bool deleted_marks;
  KeptStatuses statuses;
  int name_length;  // the longest disk name kept; 0 for none
  bool write_protect;
  int max_sectors;  // a track's
  int max_size_code;
  int tracks;  // track indexes it has room for
  bool one_size_a_track;
  bool one_density_a_track;
  bool short_data;   // a sector's data may be shorter than its size code says
  bool ff_cylinder;  // a sector whose cylinder ID is FFh can be held (elsewhere FFh marks an
                     // empty slot)
  bool marked_without_data;  // a sector without a data mark (F0h) keeps a deleted mark
  bool (*write)(const DiskMap& map, const DiskFacts& facts, ByteSink& sink);
};

// The row of `kind`, or nullptr for a container that is not written.
const ContainerWriter* FindContainerWriter(ContainerKind kind);

// True when `target` keeps `sector`'s status.
bool StatusKept(const ContainerWriter& target, const SectorHeader& sector);

// True when `target` has a place for `sector` (its cylinder ID is not an empty slot's mark).
bool SectorHeld(const ContainerWriter& target, const SectorHeader& sector);

// The sectors of `track` that `target` has a place for, in stored order, at most its
// max_sectors: their headers into `held` (room for DiskMap::kMaxSectorsPerTrack); returns how many.
int HeldSectors(const ContainerWriter& target, const DiskMap& map, int track,
                const SectorHeader** held);

// The grid a data-only container writes of `map`: its commonest shape, the sector size rounded up
// to a size code (at most 7); for a raw dump, a PC-98 BASIC 2HD disk's FM track 0 of 26 sectors
// of 128 bytes kept as such. False for a disk that holds no sector.
bool WrittenGrid(const ContainerWriter& target, const DiskMap& map, SectorGrid& grid);

// The track index of the track stored `k`-th in `grid`.
int GridTrack(const SectorGrid& grid, int k);

// Writes the data of every track of `grid`, sector 1..n of each found by its number (zeros for
// one that is missing), each cut or padded to the grid's size.
bool WriteGridData(const DiskMap& map, const SectorGrid& grid, ByteSink& sink);

// Writes `sector`'s data cut or padded with zeros to `size` bytes.
bool WriteSectorData(const DiskMap& map, const SectorHeader& sector, int size, ByteSink& sink);

// Writes `count` bytes of `value`.
bool WriteFill(ByteSink& sink, unsigned char value, int64_t count);

// True when `sector`'s data are at least one byte, all `value`; reads them.
bool RepeatedByte(const DiskMap& map, const SectorHeader& sector, unsigned char& value);

// The DIM media type of `grid` (00h 2HD, 02h 2HC, 03h 2HDE, 09h 2HQ), or -1 for a shape DIM has
// no type for.
int DimMediaType(const SectorGrid& grid);

// The writers, one file each beside its reader.
bool WriteD88Disk(const DiskMap& map, const DiskFacts& facts, ByteSink& sink);
bool WriteRawImage(const DiskMap& map, const DiskFacts& facts, ByteSink& sink);
bool WriteFdiImage(const DiskMap& map, const DiskFacts& facts, ByteSink& sink);
bool WriteDimImage(const DiskMap& map, const DiskFacts& facts, ByteSink& sink);
bool WriteNfdImage(const DiskMap& map, const DiskFacts& facts, ByteSink& sink);
bool WriteImdImage(const DiskMap& map, const DiskFacts& facts, ByteSink& sink);
bool WriteFddImage(const DiskMap& map, const DiskFacts& facts, ByteSink& sink);

}  // namespace diskimage

#endif  // DISKIMAGE_CONTAINERS_CONTAINER_WRITERS_H_
