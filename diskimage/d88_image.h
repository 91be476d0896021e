// Read-only access to D88 floppy-disk images: the catalogue of the disks stored back to back in
// one file, the header of a selected disk, and its sectors found by track index and sector ID.
#ifndef DISKIMAGE_D88_IMAGE_H_
#define DISKIMAGE_D88_IMAGE_H_

#include <cstdint>
#include <cstdio>

// Returns b0 + b1*2^8 from the two bytes at `bytes` (0..65535), whatever the host's byte order.
int ReadLe16(const unsigned char* bytes);

// Returns the four bytes at `bytes` as a little-endian 32-bit value; values of 2^31 and more come
// out negative (two's complement), whatever the host's byte order.
int32_t ReadLe32(const unsigned char* bytes);

class D88Image {
 public:
  static constexpr int kMaxDisks = 64;
  static constexpr int kTrackCount = 164;
  static constexpr int kDiskHeaderSize = 0x2B0;
  static constexpr int kSectorHeaderSize = 16;

  D88Image();
  ~D88Image();
  D88Image(const D88Image&) = delete;
  D88Image& operator=(const D88Image&) = delete;

  // With a path: opens the image for reading and catalogues its disks (at most kMaxDisks).
  // Returns false only when the file cannot be opened or read (missing, a directory, no
  // permission); a file without a complete disk header opens with zero disks. A file already
  // open is closed first. With nullptr: closes the file and empties the catalogue; returns true.
  bool Open(const char* path);

  int DiskCount() const { return disk_count; }

  // Loads the header of catalogued disk `index` (0-based). Returns false, with the selection
  // cleared (empty name, media type -1, size 0), when `index` is outside the catalogue; returns
  // false and changes nothing when no file is open. Header bytes that cannot be read are zero.
  bool SelectDisk(int index);

  // The selected disk's name: the header's first 16 bytes up to the first NUL, NUL-terminated.
  const char* DiskName() const { return disk_name; }

  // The selected disk's media byte (0..255), or -1 when no disk is selected.
  int MediaType() const { return media_type; }

  // Sets the sector numbers between which ReadSectors steps: after `last` it goes on with
  // `first` on the next track index. No checks.
  void SetSectorRange(int first, int last);

  // Copies the data of sector (c, h, r, n) of `track` into `dest`, at most `max_len` bytes.
  // Returns the number of bytes copied: the sector's stored size capped at `max_len`, fewer when
  // the file ends inside the data, and 0 when the track or the sector is not there.
  int ReadSector(int track, int c, int h, int r, int n, unsigned char* dest, int max_len);

  // Copies `total_len` bytes from consecutive sectors of size code `n`, starting at sector
  // (c, h, r, n) of `track` and stepping through the sector range from track to track. Stops at
  // the first sector that yields less than its 128 << n bytes (its stored bytes are left in
  // `dest`) and returns the bytes of the whole sectors read before it.
  int ReadSectors(int track, int c, int h, int r, int n, unsigned char* dest, int total_len);

  // Writes the IDs (C, H, R, N) of the sectors stored on `track`, in stored order, as 4-byte
  // records into `dest`, as many whole records as fit in `max_len` bytes. Returns the bytes
  // written; 0 when the track is not there.
  int ReadTrackIds(int track, unsigned char* dest, int max_len);

 private:
  // Reads are served from a window of the file kept in the object, so that walking the sector
  // headers of a track costs no system call; the window is refilled from the file when a read
  // leaves it.
  static constexpr int kWindowSize = 64 * 1024;

  bool SeekToTrack(int track);
  bool ReadSectorHeader(unsigned char* header);
  void SkipSectorData(const unsigned char* header);
  // Copies up to `len` bytes from file offset `position` on and advances it; returns the number
  // of bytes copied, fewer at the end of the file or on a read error.
  size_t ReadOn(unsigned char* dest, size_t len);

  FILE* file;
  int disk_count;
  int first_sector;
  int last_sector;
  int32_t disk_offsets[kMaxDisks];
  int32_t disk_size;
  int32_t disk_offset;
  int32_t track_offsets[kTrackCount];
  int media_type;
  char disk_name[17];
  int64_t position;      // file offset of the next read
  int64_t window_start;  // file offset of window[0]
  size_t window_length;  // bytes of the file in window
  unsigned char window[kWindowSize];
};

#endif  // DISKIMAGE_D88_IMAGE_H_
