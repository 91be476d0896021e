// Writes a disk that the D88 builder holds in the other containers (raw dump, FDI, DIM, DCP, NFD
// r0 and r1, IMD), so that tests and fuzz seeds can hold the same disk in every one.
#ifndef TESTS_CONTAINER_BUILDER_H_
#define TESTS_CONTAINER_BUILDER_H_

#include <string>

#include "tests/d88_builder.h"
#include "tests/file_system_builder.h"

// The disk's sectors in raw-dump order: each track of `shape` (cylinder by cylinder, head 0 then
// 1), sectors R 1..sectors_per_track found by number; zeros for a sector the disk lacks. With
// `fm_track0`, track 0 holds sectors of 128 bytes.
Bytes RawDump(const DiskBuilder& disk, const DiskShape& shape, bool fm_track0 = false);

// A 4096-byte FDI header before the raw dump.
Bytes FdiImage(const DiskBuilder& disk, const DiskShape& shape);

// A DIM image of media type `type`: every track the disk holds flagged and stored.
Bytes DimImage(const DiskBuilder& disk, uint8_t type, const DiskShape& shape);

// A DCP image of media type `type` with `map_length` (160 or 161) map bytes.
Bytes DcpImage(const DiskBuilder& disk, uint8_t type, const DiskShape& shape, int map_length,
               bool fm_track0 = false);

// NFD images: every sector with its ID, density, deleted mark and status (as BIOS result and
// controller status bytes), in the disk's stored order.
Bytes NfdR0Image(const DiskBuilder& disk);
Bytes NfdR1Image(const DiskBuilder& disk);

// An IMD image: one record per track (500 kbps modes with `high_rate`, else 250 kbps), sectors in
// stored order, cylinder and head maps where IDs differ, one-value sectors compressed.
Bytes ImdImage(const DiskBuilder& disk, bool high_rate);

// A Virtual98 FDD image: every sector in its track's slots (26 at most), a sector of one byte
// value as its slot's fill byte, the rest stored after the header; `memo` the disk's name.
Bytes FddImage(const DiskBuilder& disk, const std::string& memo, bool high_density);

// A CPC DSK (`extended` false: every track's sectors of its first sector's size) or Extended DSK
// image of `cylinders` x `sides` track blocks; a CRC error as ST1/ST2 20h, a deleted mark as ST2
// 40h, a track the disk lacks as an unformatted one (Extended DSK) or an empty block; in an
// Extended DSK a sector with a CRC error stored `weak_copies` times, each read differing.
Bytes DskImage(const DiskBuilder& disk, bool extended, int cylinders, int sides,
               int weak_copies = 1);

// A TD0 image (normal, or `advanced`: the stream after the header LZHUF-compressed) of every
// track the disk holds, each sector's data block as Teledisk writes it (one repeated pair, runs
// of pairs among literals, or raw); FM tracks flagged; `rate` the header's data-rate byte (0 250
// kbps, 2 500 kbps, bit 7 the whole disk FM); a comment block where `comment` is not empty.
Bytes Td0Image(const DiskBuilder& disk, bool advanced, int rate, const std::string& comment);

// Writes the CRC of a TD0 header's first ten bytes into its bytes 10 and 11.
void SetTd0HeaderCrc(Bytes& td0);

// `data` LZHUF-compressed (literals and the longest matches in the ring), without a length.
Bytes LzhufEncode(const Bytes& data);

// `count` (even) FM sectors of 128 bytes numbered 1 to count, stored interleaved (1, count / 2 +
// 1, 2, ...), each filled with its number's pattern.
std::vector<SectorRecord> InterleavedFmTrack(int count);

// `sectors` with a deleted mark on the first, a data CRC error on the second, one byte value
// throughout the third and a C of `other_cylinder` on the fourth.
std::vector<SectorRecord> WithMarks(std::vector<SectorRecord> sectors, int other_cylinder);

#endif  // TESTS_CONTAINER_BUILDER_H_
