// diskimage: read-only access to D88 floppy-disk images. The catalogue of the disks stored back
// to back in one image, the header of a selected disk, and its sectors found by track index and
// sector ID. The image is a file or bytes already in memory.
#ifndef DISKIMAGE_D88_IMAGE_H_
#define DISKIMAGE_D88_IMAGE_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "diskimage/sector_source.h"

namespace diskimage {

// The name of a D88 media byte: "2D" (0x00), "2DD" (0x10), "2HD" (0x20), "1D" (0x30), "1DD"
// (0x40), or "other" for any other value.
DISKIMAGE_API const char* MediaName(int media_type);

// Bytes of an image opened from memory: `size` bytes at `bytes`.
struct ImageSpan {
  const unsigned char* bytes;
  int size;
};

// One D88 image, open for reading. The object holds a 64 KiB read window, so it is large: give it
// static storage or allocate it rather than putting it on a small thread's stack. Not copyable;
// one object serves one thread.
class DISKIMAGE_API D88Image final : public SectorSource {
 public:
  static constexpr int kMaxDisks = 64;
  static constexpr int kDiskHeaderSize = 0x2B0;
  static constexpr int kSectorHeaderSize = 16;

  D88Image();
  ~D88Image();
  D88Image(const D88Image&) = delete;
  D88Image& operator=(const D88Image&) = delete;

  // With a path: opens the image for reading and catalogues its disks (at most kMaxDisks).
  // Returns false only when the file cannot be opened or read (missing, a directory, no
  // permission, a pipe that cannot seek; errno tells why); a file without a complete disk header
  // opens with zero disks.
  // An image already open is closed first. With nullptr: closes the image and empties the
  // catalogue; returns true.
  bool Open(const char* path);

  // Opens the `size` bytes at `data` as an image, with exactly the results that the same bytes in
  // a file give. The bytes are not copied: the caller keeps them alive and unchanged until the
  // image is closed or opened again. Returns true (nullptr with size 0 is an empty image).
  bool OpenMemory(const unsigned char* data, size_t size);

  int DiskCount() const { return disk_count; }

  // True when the image holds a complete disk header after the last catalogued disk: the disks
  // from the (kMaxDisks + 1)-th on are not catalogued.
  bool MoreDisksThanCatalogued() const { return disks_beyond_catalogue; }

  // Loads the header of catalogued disk `index` (0-based). Returns false, with the selection
  // cleared (empty name, media type -1, size 0), when `index` is outside the catalogue; returns
  // false and changes nothing when no image is open. Header bytes that cannot be read are zero.
  bool SelectDisk(int index);

  // The selected disk's name: the header's first 16 bytes up to the first NUL, NUL-terminated.
  const char* DiskName() const { return disk_name; }

  // The selected disk's media byte (0..255), or -1 when no disk is selected.
  int MediaType() const { return media_type; }

  // The selected disk's write-protect byte (0x00 writable, 0x10 protected; 0 when none is
  // selected). WriteProtected() is true for any value but 0.
  int WriteProtectByte() const { return write_protect; }
  bool WriteProtected() const { return write_protect != 0; }

  // The selected disk's size field: the bytes the disk claims, header included (0 when none is
  // selected). A field of 2^31 or more reads as negative here; the disk's sectors are searched
  // as far as the field reaches taken unsigned (DiskSize), never past the image's end.
  int32_t DiskSizeField() const { return disk_size; }
  int64_t DiskSize() const { return static_cast<uint32_t>(disk_size); }

  // The image offset of the selected disk's header; -1 when none is selected.
  int64_t DiskOffset() const { return disk_offset; }

  // The image's length in bytes (a file's as it was when opened).
  int64_t ImageSize() const { return image_size; }

  // The selected disk's track-table entry for `track` as stored (0 outside 0..kTrackCount-1 or
  // when no disk is selected).
  int32_t TrackTableEntry(int track) const;

  // True when the track table places `track` inside the disk (HasTrack) but the image ends at or
  // before its offset: a track the image lost, not one stored empty.
  bool TrackBeyondImage(int track) const override;

  // Sets the sector numbers between which ReadSectors steps: after `last` it goes on with
  // `first` on the next track index. No checks.
  void SetSectorRange(int first, int last);

  // Copies the data of sector (c, h, r, n) of `track` into `dest`, at most `max_len` bytes. The
  // search walks the track's sector headers until the ID matches, a header's sector count says
  // the track has ended (or is 0), or the next header would begin at or past the end of the
  // selected disk. Returns the number of bytes copied: the sector's stored size capped at
  // `max_len`, fewer when the image ends inside the data, and 0 when the track or the sector is
  // not there.
  int ReadSector(int track, int c, int h, int r, int n, unsigned char* dest, int max_len);

  // Copies `total_len` bytes from consecutive sectors of size code `n`, starting at sector
  // (c, h, r, n) of `track` and stepping through the sector range from track to track. Stops at
  // the first sector that yields less than its 128 << n bytes (its stored bytes are left in
  // `dest`) and returns the bytes of the whole sectors read before it.
  int ReadSectors(int track, int c, int h, int r, int n, unsigned char* dest, int total_len);

  // For an image opened with OpenMemory: finds what ReadSectors would copy and, instead of
  // copying, lists where those bytes lie in the image's memory, one span per sector, at most
  // `max_spans` (one per sector of the request is enough; a request that needs more ends where
  // they run out, as if the sector were missing). The last span may hold the stored bytes of a
  // short sector, which ReadSectors leaves in `dest` without counting them. Sets `span_count` and
  // returns what ReadSectors returns; returns -1, with no span, for an image read from a file.
  int ViewSectors(int track, int c, int h, int r, int n, int total_len, ImageSpan* spans,
                  int max_spans, int& span_count);

  // True unless the image was opened from a file: ViewSectors then points into its memory.
  bool InMemory() const { return file == nullptr; }

  // Writes the IDs (C, H, R, N) of the sectors stored on `track`, in stored order, as 4-byte
  // records into `dest`, as many whole records as fit in `max_len` bytes. The listing ends where a
  // header's sector count says the track has ended (a count of 0 ends nothing here) or at the end
  // of the selected disk. Returns the bytes written; 0 when the track is not there.
  int ReadTrackIds(int track, unsigned char* dest, int max_len);

  // True when the selected disk's track table points `track` (0..kTrackCount-1) inside the disk:
  // the track was stored, though it may hold no sector.
  bool HasTrack(int track) const override;

  // Writes the headers of the sectors stored on `track` into `dest`, in stored order, at most
  // `max_count` of them. The walk ends as ReadTrackIds' does. Returns the number written; 0 when
  // the track is not there. Pass one more than the sectors wanted to learn whether the track
  // holds more.
  int ReadTrackSectors(int track, SectorHeader* dest, int max_count) override;

  // Copies the data of a sector that ReadTrackSectors returned for the selected disk into `dest`:
  // at most `max_len` bytes, never any past the end of the disk or of the image. Returns the
  // bytes copied.
  int ReadSectorData(const SectorHeader& sector, unsigned char* dest, int max_len);
  int ReadSectorBytes(const SectorHeader& sector, int from, unsigned char* dest,
                      int max_len) override;
  const unsigned char* ViewSectorBytes(const SectorHeader& sector, int from, int length) override;

  // The number of sector headers read since the image was opened: a measure of the work done.
  // Searches of one track in a row walk its headers once, a walk reuses what the previous walk
  // read, and no walk leaves the selected disk.
  int64_t SectorHeadersRead() const { return headers_read; }

 private:
  static constexpr int kWindowSize = 64 * 1024;

  // One sector header met on a track's walk.
  struct WalkNode {
    unsigned char id[4];  // C, H, R, N
    uint16_t data_size;
    uint16_t sector_count;
  };

  // The nodes of one walk in stored order: the first ones inside the object, the rest (walks
  // longer than any real track) allocated, 8 bytes a header.
  struct Walk {
    static constexpr int kInlineNodes = 128;
    const WalkNode& operator[](int64_t i) const {
      return i < kInlineNodes ? inline_nodes[i] : heap_nodes[i - kInlineNodes];
    }
    // Appends `node`; false when memory runs out.
    bool Append(const WalkNode& node);

    int track;          // -1: none
    int64_t start;      // image offset of the first header
    int64_t length;     // nodes kept
    int64_t resume_at;  // -1, or where the walk goes on after the nodes kept (out of memory)
    WalkNode* heap_nodes;
    int64_t heap_capacity;
    WalkNode inline_nodes[kInlineNodes];
  };

  void Close();
  // The image offset where the selected disk ends as its size field says (taken unsigned).
  int64_t DiskEnd() const;
  // Walks the headers of `track` in stored order as ReadTrackIds does, calling take(header, i)
  // for the i-th, at most `max_count` times; `position` is the header's data. Returns the count.
  template <typename Take>
  int ListTrack(int track, int64_t max_count, Take take);
  // Finds sector (c, h, r, n) of `track` as ReadSector does and returns take(data offset, stored
  // data size), or 0 when it is not there.
  template <typename Take>
  int FindSector(int track, int c, int h, int r, int n, Take take);
  // Steps through the sectors of a ReadSectors request, calling read(track, c, h, r, done, chunk)
  // for the `chunk` bytes of each that go at offset `done`; stops when one yields fewer.
  template <typename Read>
  int StepSectors(int track, int c, int h, int r, int n, int total_len, Read read);
  // Builds the catalogue from offset 0; false when the file cannot be read at all.
  bool Catalogue();
  void ForgetWalks();
  bool SeekToTrack(int track);
  // Returns the 16-byte sector header at `position` and counts it, or nullptr when it would
  // begin at or past the end of the selected disk or cannot be read whole.
  const unsigned char* HeaderAt();
  // Reads the header at `position` as the `index`-th of a track's walk. Returns 0 when the walk
  // has ended before it, 1 for a node, 2 for the node after which the walk ends; `position` then
  // points at the next header.
  int NextWalkNode(int64_t index, WalkNode& node);
  // 2 when `node`, met as the `index`-th of a walk, is the last its sector count allows; else 1.
  static int WalkStep(int64_t index, const WalkNode& node);
  // Walks the headers of `track` from `position`. Where the walk meets a header of the previous
  // walk, it takes that walk's nodes instead of reading them again.
  void WalkTrack(int track);
  // Indexes the walk's first sector of each sector number with cylinder `c`, head `h` and size
  // code `n`.
  void IndexWalk(int c, int h, int n);
  bool FillWindowAt(int64_t offset);
  // Copies up to `len` bytes from image offset `position` on and advances it; returns the number
  // of bytes copied, fewer at the end of the image or on a read error.
  size_t ReadOn(unsigned char* dest, size_t len);

  FILE* file;
  const unsigned char* memory;  // the image when it was opened from memory
  size_t memory_size;
  int64_t image_size;
  int disk_count;
  bool disks_beyond_catalogue;
  int first_sector;
  int last_sector;
  int32_t disk_offsets[kMaxDisks];
  int32_t disk_size;
  int32_t disk_offset;
  int32_t track_offsets[kTrackCount];
  int media_type;
  int write_protect;
  char disk_name[17];
  int64_t headers_read;

  // Sector searches walk a track's headers once: walks[current] is the last track walked,
  // walks[1 - current] the one before. The current walk is indexed for one cylinder, head and
  // size code by sector number.
  Walk walks[2];
  int current;
  int index_chn[3];            // C, H and N of the index; -1 when there is none
  int64_t index_offsets[256];  // by R: image offset of the first such sector's data, or -1
  uint16_t index_sizes[256];   // by R: its data size

  // Reads from a file are served from a window of it, so that walking the sector headers of a
  // track costs no system call; the window is refilled when a read leaves it.
  int64_t position;      // image offset of the next read
  int64_t window_start;  // image offset of window[0]
  size_t window_length;  // bytes of the file in window
  unsigned char window[kWindowSize];
};

}  // namespace diskimage

#endif  // DISKIMAGE_D88_IMAGE_H_
