// diskimage: the readers of the containers other than D88, each turning an image's bytes into
// the sector table of the one disk it holds. Each recognises its container by content and says
// false, changing nothing the caller relies on, for bytes that are not its own.
#ifndef DISKIMAGE_CONTAINERS_CONTAINER_READERS_H_
#define DISKIMAGE_CONTAINERS_CONTAINER_READERS_H_

#include <cstddef>

#include "diskimage/containers/sector_table.h"

namespace diskimage {

// What a reader learnt of the disk besides its sectors.
struct ContainerRead {
  int media;             // the D88 media byte of the disk's shape (00h 2D, 10h 2DD, 20h 2HD)
  bool write_protected;  // as the container records it (false where it records nothing)
  char problem[160];     // what of the disk the image lost, one phrase; "" when it is whole
  char refusal[160];     // for a recognised image that is not read: why; "" otherwise
  char name[129];        // the disk's name where the container keeps one (FDD's memo, NFD's
                         // comment, up to 128 bytes), as stored
};

// Each reader: when `bytes` (`size` bytes) are an image of its container, fills `table` (reset
// first; it reads its data from `bytes`) and `read`, and returns true. Every offset, count and
// length in the image is checked against the image's size; a header that promises more than the
// file holds gives the sectors there are, the rest reported in `read.problem`. Returns false for
// bytes of another kind (`table` and `read` may then have changed).

// A raw dump, recognised by its size alone (the sizes of the common floppy formats), with the
// boot sector deciding between geometries that share a size.
DISKIMAGE_API bool ReadRawImage(const unsigned char* bytes, size_t size, SectorTable& table,
                                ContainerRead& read);
// The geometry ReadRawImage gives a raw dump of `size` bytes whose first 1024 bytes are `head`
// (the boot sector decides between the geometries a size shares); false for no raw size.
DISKIMAGE_API bool RawDumpGrid(const unsigned char* head, size_t size, SectorGrid& grid);
// True when the raw dump of `size` bytes at `bytes` (one ReadRawImage accepts) begins with a boot
// sector whose parameter block gives the geometry its size does: sector size, sectors per track,
// heads and total sectors. False for any other bytes.
DISKIMAGE_API bool RawBootSectorAgrees(const unsigned char* bytes, size_t size);
// An FDI image: a 32-byte-or-longer header whose sizes and geometry add up to the file's size.
DISKIMAGE_API bool ReadFdiImage(const unsigned char* bytes, size_t size, SectorTable& table,
                                ContainerRead& read);
// A DIM image: "DIFC HEADER" at 0xAB, a media type and a flag per stored track.
DISKIMAGE_API bool ReadDimImage(const unsigned char* bytes, size_t size, SectorTable& table,
                                ContainerRead& read);
// An NFD image, revision 0 or 1: the "T98FDDIMAGE.R0" or ".R1" signature.
DISKIMAGE_API bool ReadNfdImage(const unsigned char* bytes, size_t size, SectorTable& table,
                                ContainerRead& read);
// A DCP or DCU image: a known media type and a track map whose stored tracks fill the file.
DISKIMAGE_API bool ReadDcpImage(const unsigned char* bytes, size_t size, SectorTable& table,
                                ContainerRead& read);
// What a reader decodes into memory of its own (TD0: its sectors' data, expanded). The caller
// frees `bytes` with free() once the table is no longer read, whatever the reader returned.
struct DecodedBytes {
  unsigned char* bytes = nullptr;
  size_t size = 0;
};
// The most a TD0 image's compressed stream is decompressed to, and the room for its sectors.
constexpr size_t kMaxTd0StreamSize = size_t{8} << 20;
constexpr size_t kMaxTd0DataSize = size_t{4} << 20;

// True for a TD0 (Teledisk) header: "TD" or "td" and the CRC of its first ten bytes.
DISKIMAGE_API bool IsTd0Image(const unsigned char* bytes, size_t size);
// A TD0 image, normal or advanced (LZHUF, version 2.0 and later; version 1.x's LZW is refused, as
// is a later volume of a set): the comment passed over, each track's sectors with their IDs,
// density, deleted marks and CRC errors, their data expanded into `decoded` (the table reads
// them there). Allocates at most kMaxTd0StreamSize while it reads and kMaxTd0DataSize kept.
DISKIMAGE_API bool ReadTd0Image(const unsigned char* bytes, size_t size, SectorTable& table,
                                ContainerRead& read, DecodedBytes& decoded);
// A Virtual98 FDD image: the "VFD1.0" signature, a table of 160 x 26 sector slots; sectors of one
// repeated byte stored as the slot's fill byte. The memo is the disk's name.
DISKIMAGE_API bool ReadFddImage(const unsigned char* bytes, size_t size, SectorTable& table,
                                ContainerRead& read);
// A CPC DSK ("MV - CPC") or Extended DSK ("EXTENDED") image: a disc information block, then a
// block per track with its sector list (IDs, FDC status registers ST1 and ST2, for Extended DSK
// each sector's stored length). A weak sector stored in several copies gives its first.
DISKIMAGE_API bool ReadDskImage(const unsigned char* bytes, size_t size, SectorTable& table,
                                ContainerRead& read);
// An IMD image: the "IMD " signature, a comment ended by 1Ah, then track records.
DISKIMAGE_API bool ReadImdImage(const unsigned char* bytes, size_t size, SectorTable& table,
                                ContainerRead& read);

}  // namespace diskimage

#endif  // DISKIMAGE_CONTAINERS_CONTAINER_READERS_H_
