// Builds D88 images for tests, fuzz seeds, samples and benchmarks: disk by disk, track by track
// and sector by sector, with any IDs, order and sizes, well-formed or deliberately malformed.
#ifndef TESTS_D88_BUILDER_H_
#define TESTS_D88_BUILDER_H_

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

struct SectorRecord {
  uint8_t c = 0, h = 0, r = 1, n = 1;
  Bytes data;
  std::optional<uint16_t> sector_count;  // default: the number of sectors on the track
  std::optional<uint16_t> data_size;     // default: data.size(); may disagree with the data
  uint8_t density = 0x00;                // 0x40: single density (FM)
  uint8_t deleted = 0x00;                // 0x10: deleted-data mark
  uint8_t status = 0x00;                 // 0xB0: data CRC error, ...
};

class DiskBuilder {
 public:
  // The 17-byte name field; bytes past 17 are dropped.
  DiskBuilder& Name(const std::string& name);
  DiskBuilder& Media(uint8_t media);
  DiskBuilder& WriteProtect(uint8_t flag);
  DiskBuilder& AddSector(int track, const SectorRecord& sector);
  // Replaces whatever `track` held by `sectors`.
  DiskBuilder& ReplaceTrack(int track, const std::vector<SectorRecord>& sectors);
  // Marks a track present with no sectors at all.
  DiskBuilder& EmptyTrack(int track);
  // Stores `offset` in the track table instead of the real offset (0 makes the track absent).
  DiskBuilder& TrackOffset(int track, uint32_t offset);
  // Stores `size` in the disk-size field instead of the real size.
  DiskBuilder& DiskSize(uint32_t size);

  Bytes Build() const;
  // The sectors of every track added, by track index.
  const std::map<int, std::vector<SectorRecord>>& Tracks() const { return tracks_; }

 private:
  std::string name_;
  uint8_t media_ = 0;
  uint8_t write_protect_ = 0;
  std::map<int, std::vector<SectorRecord>> tracks_;
  std::map<int, uint32_t> track_offsets_;
  std::optional<uint32_t> disk_size_;
};

// Disks back to back, as one image file.
Bytes Concatenate(const std::vector<Bytes>& disks);

// Sectors of `size_code` numbered r_first, r_first+1, ... on one track, cut from `data`.
std::vector<SectorRecord> TrackSectors(int track, int r_first, int count, int size_code,
                                       const uint8_t* data);

// A disk of the 16-byte-directory layout (five 1024-byte sectors per track): a directory of 128
// entries on track 1 and a linear track image of 80 tracks of 5120 bytes, of which tracks 2 to 79
// are stored.
class DskcutLayout {
 public:
  static constexpr int kTrackSize = 5120;
  static constexpr int kImageSize = 80 * kTrackSize;

  DskcutLayout();
  // Stores `bytes` at the next free 256-byte block from track 2 on and fills entry `index` (the
  // next unused one when -1). The listed size is rounded up to a block, or a half block for a
  // file whose last block holds at most 128 bytes. Returns the entry index.
  int AddFile(const std::string& name, const std::string& extension, const Bytes& bytes,
              int index = -1);
  // Writes entry `index` (0..127) from its fields: name and extension space-padded.
  void SetEntry(int index, const std::string& name, const std::string& extension, uint8_t track,
                uint8_t block, uint8_t length, uint8_t flag);
  uint8_t* Entry(int index) { return &directory[16 * index]; }
  // The bytes a correct extraction writes for entry `index`.
  Bytes Expected(int index) const;
  // The disk: track 1 with sectors R 1 to 5, tracks 2 up to `end_track` - 1 numbered from
  // sector_base[track] + 1.
  DiskBuilder ToDisk(const std::string& name, int end_track = 80) const;

  Bytes directory;
  Bytes track_image;
  std::array<uint8_t, 80> sector_base{};
  int next_block = 2 * 20;
  int next_entry = 1;
};

// A disk of the 8-byte-directory layout (ten 512-byte sectors per track): a directory of 128
// entries in sectors 1 to 4 of track 1 and a track image of tracks 4 to 79.
class DskpullLayout {
 public:
  static constexpr int kTrackSize = 5120;
  static constexpr int kImageSize = 76 * kTrackSize;

  DskpullLayout();
  // Stores `bytes` at the next free 512-byte sector and fills the next entry. Returns its index.
  int AddFile(const std::string& name, const Bytes& bytes);
  void SetEntry(int index, const std::string& name, uint8_t track, uint8_t position, uint16_t size);
  uint8_t* Entry(int index) { return &directory[8 * index]; }
  Bytes Expected(int index) const;
  // The disk: the directory on track 1, data tracks 4 up to `end_track` - 1.
  DiskBuilder ToDisk(const std::string& name, int end_track = 80) const;

  Bytes directory;
  Bytes track_image;
  int next_sector = 0;
  int next_entry = 0;
};

// A hostile disk whose sector searches walk far: tracks `first_track` to 79 start at consecutive
// headers of a stretch of `stretch_headers` empty sectors whose sector counts never end a walk,
// and each track's wanted sectors (R 1 to `sectors`, size code `size_code`, C and H from the
// track index) stand only behind the whole stretch. `directory`, if any, is stored as track 1,
// before the stretch.
Bytes LongWalkDisk(int first_track, int sectors, int size_code, size_t stretch_headers,
                   const std::vector<SectorRecord>& directory = {});

// 64 disks whose searches all run into one stretch: disks 0 to 62 hold only headers whose data
// jumps past their own end into the stretch of disk 63, a LongWalkDisk with `directory`.
Bytes LongWalkDisks(int first_track, int sectors, int size_code, size_t stretch_headers,
                    const std::vector<SectorRecord>& directory = {});

// Bytes that differ from file to file: `length` bytes from a seed.
Bytes PatternBytes(size_t length, uint32_t seed);

#endif  // TESTS_D88_BUILDER_H_
