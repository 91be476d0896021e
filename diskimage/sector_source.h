// diskimage: what a disk's sector map reads from, whatever container stores the disk: its tracks,
// each a list of sector headers (ID, density, marks, status) in stored order, and their data.
#ifndef DISKIMAGE_SECTOR_SOURCE_H_
#define DISKIMAGE_SECTOR_SOURCE_H_

#include <cstdint>

// The library's public symbols; everything else stays hidden in a shared build.
#if defined(_WIN32)
#if !defined(DISKIMAGE_SHARED)
#define DISKIMAGE_API
#elif defined(DISKIMAGE_BUILDING)
#define DISKIMAGE_API __declspec(dllexport)
#else
#define DISKIMAGE_API __declspec(dllimport)
#endif
#elif defined(__GNUC__) || defined(__clang__)
#define DISKIMAGE_API __attribute__((visibility("default")))
#else
#define DISKIMAGE_API
#endif

namespace diskimage {

// Returns b0 + b1*2^8 from the two bytes at `bytes` (0..65535), whatever the host's byte order.
DISKIMAGE_API int ReadLe16(const unsigned char* bytes);

// Returns the four bytes at `bytes` as a little-endian 32-bit value; values of 2^31 and more come
// out negative (two's complement), whatever the host's byte order.
DISKIMAGE_API int32_t ReadLe32(const unsigned char* bytes);

// Stores the low 16 or 32 bits of `value` little-endian at `dest`.
DISKIMAGE_API void StoreLe16(unsigned char* dest, int value);
DISKIMAGE_API void StoreLe32(unsigned char* dest, uint32_t value);

// One sector header of a track as the container stores it, with where its data lies.
struct SectorHeader {
  static constexpr int kDensityFm = 0x40;    // density byte of a single-density (FM) sector
  static constexpr int kDeletedMark = 0x10;  // deleted byte of a sector with a deleted-data mark

  unsigned char c, h, r, n;  // the sector's ID
  int sector_count;          // the track's sector count as this header records it
  int density;               // 0x00 double density (MFM), 0x40 single density (FM); as stored
  int deleted;               // 0x00 normal data, 0x10 deleted data; as stored
  int status;                // as the drive reported it: 0x00 fine, 0xA0 ID CRC error, 0xB0 data
                             // CRC error, 0xE0 no address mark, 0xF0 no data mark, others
  int data_size;             // bytes of data the sector holds (0..65535)
  int64_t data_offset;       // image offset of the data
  bool repeated_byte;        // the data is the one byte at data_offset, data_size times over (a
                             // compressed record); never set for D88

  // True for FM: 0x40, or 0x01 as some tools write it.
  bool Fm() const { return density == kDensityFm || density == 0x01; }
  bool Deleted() const { return deleted == kDeletedMark; }
};

// The tracks of one disk (track index = 2 x cylinder + head) and their sectors.
class DISKIMAGE_API SectorSource {
 public:
  static constexpr int kTrackCount = 164;

  // True when the container stores `track` (0..kTrackCount-1), though it may hold no sector.
  virtual bool HasTrack(int track) const = 0;

  // True when the container lists `track` but the image ends before its data: a track the image
  // lost, not one stored empty.
  virtual bool TrackBeyondImage(int track) const = 0;

  // Writes the headers of the sectors stored on `track` into `dest`, in stored order, at most
  // `max_count` of them; returns the number written, 0 for a track that is not there. Pass one
  // more than the sectors wanted to learn whether the track holds more.
  virtual int ReadTrackSectors(int track, SectorHeader* dest, int max_count) = 0;

  // Copies the data of a sector that ReadTrackSectors returned, from its byte `from` on, into
  // `dest`: at most `max_len` bytes, never any past the sector's data or the image's end. Returns
  // the bytes copied (0 for `from` outside the data).
  virtual int ReadSectorBytes(const SectorHeader& sector, int from, unsigned char* dest,
                              int max_len) = 0;

  // Where bytes `from` to `from + length` of a sector's data lie in memory, when they all lie
  // there one after another (an image in memory), so that they are read without a copy; nullptr
  // otherwise (ReadSectorBytes copies them), and for any range outside the sector's data or the
  // image.
  virtual const unsigned char* ViewSectorBytes(const SectorHeader& sector, int from, int length);

 protected:
  // Sources are never deleted through this interface.
  ~SectorSource() = default;
};

}  // namespace diskimage

#endif  // DISKIMAGE_SECTOR_SOURCE_H_
